#include "toolkit/resource-archive.h"

#include <cstdint>
#include <string>

#include "apk/zip-archive.h"

namespace lumo::toolkit {

// Declared sizes come from the archive's directory, which anyone can write: an entry above
// the cap is refused before anything is read, and inflation stops there whatever it said.
bool ResourceArchive::Open(const std::string& path, std::string* error) {
  ZipArchive archive;
  std::string why;
  if (!archive.Open(path, &why)) {
    *error = "cannot open resource archive " + path + ": " + why;
    return false;
  }
  files_.clear();
  std::uint64_t total = 0;
  for (const ZipEntry& entry : archive.Entries()) {
    const std::string& name = entry.name;
    if (name.empty() || name.back() == '/') continue;
    std::string bytes;
    bool read = archive.Read(entry, kMaxEntryBytes, &bytes, &why);
    if (!read || (total += bytes.size()) > kMaxTotalBytes) {
      *error =
          "cannot read " + name + " from " + path + ": " +
          (read ? "the archive is larger than " + std::to_string(kMaxTotalBytes) + " bytes" : why);
      files_.clear();
      return false;
    }
    files_[name] = std::move(bytes);
  }
  return true;
}

bool ResourceArchive::Read(const std::string& name, std::string* bytes) const {
  auto it = files_.find(name);
  if (it == files_.end()) return false;
  *bytes = it->second;
  return true;
}

std::vector<std::string> ResourceArchive::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
}

}  // namespace lumo::toolkit
