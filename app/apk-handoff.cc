#include "app/apk-handoff.h"

#include <algorithm>
#include <cctype>

namespace lumo {

std::vector<std::string> ArgumentPaths(int argc, char** argv, const std::string& workingDir) {
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i] ? argv[i] : "";
    if (arg.empty()) continue;
    paths.push_back(arg.front() == '/' ? arg : workingDir + "/" + arg);
  }
  return paths;
}

bool LooksLikeApkPath(const std::string& path) {
  if (path.size() < 5 || path.size() > kMaxApkPathLength || path.front() != '/') return false;
  if (path.find('\0') != std::string::npos) return false;
  std::string ending = path.substr(path.size() - 4);
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending == ".apk" && path[path.size() - 5] != '/';
}

std::vector<std::string> EncodeApkPaths(const std::vector<std::string>& paths,
                                        std::size_t maxBlock) {
  std::vector<std::string> blocks;
  std::size_t inBlock = 0;
  for (const std::string& path : paths) {
    if (!LooksLikeApkPath(path) || path.size() > maxBlock) continue;
    bool fits = !blocks.empty() && inBlock < kMaxApkPathsPerBlock &&
                blocks.back().size() + 1 + path.size() <= maxBlock;
    if (fits) {
      blocks.back() += '\0';
      blocks.back() += path;
      ++inBlock;
    } else {
      blocks.push_back(path);
      inBlock = 1;
    }
  }
  return blocks;
}

std::vector<std::string> DecodeApkPaths(const std::string& block) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= block.size() && paths.size() < kMaxApkPathsPerBlock) {
    std::size_t end = block.find('\0', start);
    if (end == std::string::npos) end = block.size();
    std::string path = block.substr(start, end - start);
    if (LooksLikeApkPath(path)) paths.push_back(std::move(path));
    start = end + 1;
  }
  return paths;
}

}  // namespace lumo
