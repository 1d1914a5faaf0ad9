#include "toolkit/resource-archive.h"

#include <cstdint>
#include <memory>
#include <string>

#include <zip.h>

namespace lumo::toolkit {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Declared sizes come from the archive's directory, which anyone can write: nothing is
// allocated for an entry before its size has passed the cap, and reading stops at the cap
// whatever the directory said.
bool ReadEntry(zip_t* archive, zip_uint64_t index, std::string* bytes, std::string* why) {
  zip_stat_t stat;
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return false;
  if (stat.size > ResourceArchive::kMaxEntryBytes) {
    *why = " (declares " + std::to_string(stat.size) + " bytes)";
    return false;
  }
  std::unique_ptr<zip_file_t, EntryCloser> file(zip_fopen_index(archive, index, 0));
  if (!file) return false;
  bytes->resize(stat.size + 1);
  zip_int64_t read = zip_fread(file.get(), bytes->data(), bytes->size());
  if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) return false;
  bytes->resize(stat.size);
  return true;
}

}  // namespace

bool ResourceArchive::Open(const std::string& path, std::string* error) {
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
  if (!archive) {
    zip_error_t zipError;
    zip_error_init_with_code(&zipError, code);
    *error = "cannot open resource archive " + path + ": " + zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    return false;
  }
  files_.clear();
  std::uint64_t total = 0;
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), i, 0);
    if (!name || *name == '\0' || name[std::char_traits<char>::length(name) - 1] == '/') continue;
    std::string bytes, why;
    if (!ReadEntry(archive.get(), i, &bytes, &why) || (total += bytes.size()) > kMaxTotalBytes) {
      *error = std::string("cannot read ") + name + " from " + path + why;
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
