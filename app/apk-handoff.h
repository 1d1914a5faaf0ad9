#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lumo {

// APK files named on the command line, as the running instance receives them: absolute paths
// joined by NUL characters, in blocks that fit one data message each.
inline constexpr std::size_t kMaxApkPathLength = 4095;
inline constexpr std::size_t kMaxApkPathsPerBlock = 256;

// The program's arguments as absolute paths (relative ones are taken from `workingDir`).
std::vector<std::string> ArgumentPaths(int argc, char** argv, const std::string& workingDir);
// Blocks of at most `maxBlock` bytes; a path that could never be accepted is left out.
std::vector<std::string> EncodeApkPaths(const std::vector<std::string>& paths,
                                        std::size_t maxBlock);
// The paths of one block that look like APK files: absolute, not too long, ending in ".apk"
// (any case). Whether they are files is for the caller to see.
std::vector<std::string> DecodeApkPaths(const std::string& block);
bool LooksLikeApkPath(const std::string& path);

}  // namespace lumo
