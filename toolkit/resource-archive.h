#pragma once

#include <map>
#include <string>
#include <vector>

namespace lumo::toolkit {

// The skin archive "res.zip": every entry is read into memory when it is opened, so lookups
// never touch the disk again. The archive is small (layouts, a theme and a few images).
class ResourceArchive {
 public:
  // False when the file is missing or is not a zip archive; `error` says which.
  bool Open(const std::string& path, std::string* error);
  bool Read(const std::string& name, std::string* bytes) const;
  bool Contains(const std::string& name) const { return files_.count(name) != 0; }
  std::vector<std::string> Names() const;

 private:
  std::map<std::string, std::string> files_;
};

}  // namespace lumo::toolkit
