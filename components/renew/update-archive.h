#pragma once

#include <atomic>
#include <cstdint>
#include <string>

typedef struct zip zip_t;

namespace lumo::renew {

// Bounds on what an update archive may hold.
inline constexpr std::uint64_t kMaxArchiveEntries = 100000;
inline constexpr std::uint64_t kMaxUnpackedBytes = 8ull << 30;
inline constexpr std::size_t kMaxMemberNameBytes = 1024;
inline constexpr std::size_t kMaxLinkTargetBytes = 1024;

// A member name that stays inside the folder it is unpacked into: relative, without empty,
// "." or ".." steps and without backslashes. A trailing "/" marks a folder.
bool IsSafeMemberName(const std::string& name);
// A link target that resolves inside the folder from wherever the link sits: relative and
// without ".." steps.
bool IsSafeLinkTarget(const std::string& target);

// Checks every member of an open archive before anything is written: names, links, the
// number of members and their total size. False with a reason in `error`.
bool CheckArchive(zip_t* archive, std::string* error);

// Unpacks the archive at `zipPath` into the empty folder `folder`, after CheckArchive; files
// keep their permission bits. Stops early when `cancel` becomes true. On failure the folder
// may hold part of the archive: the caller removes it.
bool UnpackArchive(const std::string& zipPath, const std::string& folder,
                   const std::atomic<bool>& cancel, std::string* error);

}  // namespace lumo::renew
