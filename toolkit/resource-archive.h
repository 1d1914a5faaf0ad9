#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumo::toolkit {

// The skin archive "res.zip": every entry is read into memory when it is opened, so lookups
// never touch the disk again. The archive is small (layouts, a theme and a few images), so an
// entry or a whole above these caps is refused rather than read.
class ResourceArchive {
 public:
  static constexpr std::uint64_t kMaxEntryBytes = std::uint64_t{16} << 20;
  static constexpr std::uint64_t kMaxTotalBytes = std::uint64_t{64} << 20;

  // False when the file is missing or is not a zip archive; `error` says which.
  bool Open(const std::string& path, std::string* error);
  bool Read(const std::string& name, std::string* bytes) const;
  bool Contains(const std::string& name) const { return files_.count(name) != 0; }
  std::vector<std::string> Names() const;

 private:
  std::map<std::string, std::string> files_;
};

}  // namespace lumo::toolkit
