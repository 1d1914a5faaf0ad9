#pragma once

#include <cstdint>
#include <string>

namespace lumo::renew {

// What the store says about the newest release. The archive fields come as a group: a
// description of the version already installed may leave them out.
struct UpdateDescription {
  std::string version;
  std::string notes;
  bool hasArchive = false;
  std::string url;
  std::uint64_t size = 0;
  std::string sha256;  // lower-case hex
};

// Bounds on what the store may send.
inline constexpr std::size_t kMaxDescriptionBytes = std::size_t{64} * 1024;
inline constexpr std::size_t kMaxNotesBytes = 4096;
inline constexpr std::size_t kMaxUrlBytes = 2048;
inline constexpr std::uint64_t kMaxArchiveBytes = 2ull << 30;

// Parses the store's JSON text. False with a short reason in `error` for anything that is not
// exactly the expected shape; `out` is then left as it was.
bool ParseUpdateDescription(const std::string& text, UpdateDescription* out, std::string* error);

// Dotted decimal versions ("1.0.12"): one to four parts of at most nine digits.
bool IsVersion(const std::string& text);
// -1, 0 or 1 as a is older than, the same as or newer than b; missing parts count as 0.
// Both must pass IsVersion.
int CompareVersions(const std::string& a, const std::string& b);

}  // namespace lumo::renew
