#include "components/renew/update-archive.h"

#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <zip.h>

#include "platform/file-system.h"

namespace lumo::renew {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryPtr = std::unique_ptr<zip_file_t, EntryCloser>;

// The steps of a relative path; false for an empty, "." or ".." step.
bool PlainSteps(const std::string& path) {
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = path.find('/', start);
    std::string step =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (step.empty() || step == "." || step == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

// The Unix file type a member says it has; 0 when the archive keeps no Unix attributes.
mode_t MemberMode(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 ||
      system != ZIP_OPSYS_UNIX)
    return 0;
  return static_cast<mode_t>(attributes >> 16);
}

bool IsLink(mode_t mode) {
  return (mode & S_IFMT) == S_IFLNK;
}

// Reads a whole member of at most `limit` bytes.
bool ReadMember(zip_t* archive, zip_uint64_t index, zip_uint64_t size, zip_uint64_t limit,
                std::string* data) {
  if (size > limit) return false;
  EntryPtr file(zip_fopen_index(archive, index, 0));
  if (!file) return false;
  data->assign(size, '\0');
  return size == 0 || zip_fread(file.get(), data->data(), size) == static_cast<zip_int64_t>(size);
}

std::string WithoutSlash(const std::string& name) {
  return !name.empty() && name.back() == '/' ? name.substr(0, name.size() - 1) : name;
}

// No member may be written through a link of the archive: a link is a leaf.
bool UnderALink(const std::set<std::string>& names, const std::set<std::string>& links) {
  for (const std::string& name : names)
    for (std::size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1))
      if (links.count(name.substr(0, slash))) return true;
  return false;
}

bool CheckMember(zip_t* archive, zip_uint64_t index, std::set<std::string>* names,
                 std::set<std::string>* links, zip_uint64_t* total, std::string* error) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
      !(stat.valid & ZIP_STAT_SIZE)) {
    *error = "a member cannot be read";
    return false;
  }
  std::string name = stat.name;
  if (!IsSafeMemberName(name)) {
    *error = "member name leaves the folder: " + name.substr(0, 200);
    return false;
  }
  if (!names->insert(WithoutSlash(name)).second) {
    *error = "member appears twice: " + name;
    return false;
  }
  *total += stat.size;
  if (stat.size > kMaxUnpackedBytes || *total > kMaxUnpackedBytes) {
    *error = "the archive unpacks to more than the bound";
    return false;
  }
  mode_t mode = MemberMode(archive, index);
  mode_t type = mode & S_IFMT;
  if (type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK) {
    *error = "member is not a file, folder or link: " + name;
    return false;
  }
  if (!IsLink(mode)) return true;
  std::string target;
  if (name.back() == '/' || !ReadMember(archive, index, stat.size, kMaxLinkTargetBytes, &target) ||
      !IsSafeLinkTarget(target)) {
    *error = "link leaves the folder: " + name;
    return false;
  }
  links->insert(WithoutSlash(name));
  return true;
}

bool WriteFile(zip_t* archive, zip_uint64_t index, const std::string& path, mode_t mode,
               const std::atomic<bool>& cancel, std::string* error) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  EntryPtr file(zip_fopen_index(archive, index, 0));
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !file) {
    *error = "a member cannot be read";
    return false;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write " + path;
    return false;
  }
  std::vector<char> buffer(1 << 16);
  zip_uint64_t written = 0;
  zip_int64_t n = 0;
  bool ok = true;
  while (ok && !cancel && (n = zip_fread(file.get(), buffer.data(), buffer.size())) > 0) {
    written += static_cast<zip_uint64_t>(n);
    ok = written <= stat.size &&
         write(fd, buffer.data(), static_cast<std::size_t>(n)) == static_cast<ssize_t>(n);
  }
  // Program files keep their execute bits; no other special bit comes from outside.
  ok = ok && !cancel && n == 0 && written == stat.size &&
       fchmod(fd, (mode & 0777) ? (mode & 0777) : 0644) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) *error = cancel ? "cancelled" : "the archive is damaged at " + std::string(stat.name);
  return ok;
}

bool UnpackMember(zip_t* archive, zip_uint64_t index, const std::string& folder,
                  const std::atomic<bool>& cancel, std::string* error) {
  std::string name = zip_get_name(archive, index, 0);
  std::string path = folder + "/" + WithoutSlash(name);
  std::size_t slash = path.rfind('/');
  if (!platform::MakeDirs(path.substr(0, slash))) {
    *error = "cannot make a folder for " + name;
    return false;
  }
  if (name.back() == '/') {
    if (platform::MakeDirs(path)) return true;
    *error = "cannot make the folder " + name;
    return false;
  }
  mode_t mode = MemberMode(archive, index);
  if (!IsLink(mode)) return WriteFile(archive, index, path, mode, cancel, error);
  zip_stat_t stat;
  zip_stat_init(&stat);
  std::string target;
  if (zip_stat_index(archive, index, 0, &stat) != 0 ||
      !ReadMember(archive, index, stat.size, kMaxLinkTargetBytes, &target) ||
      symlink(target.c_str(), path.c_str()) != 0) {
    *error = "cannot make the link " + name;
    return false;
  }
  return true;
}

}  // namespace

bool IsSafeMemberName(const std::string& name) {
  if (name.empty() || name.size() > kMaxMemberNameBytes || name.front() == '/') return false;
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
  return PlainSteps(WithoutSlash(name));
}

bool IsSafeLinkTarget(const std::string& target) {
  if (target.empty() || target.size() > kMaxLinkTargetBytes || target.front() == '/') return false;
  if (target.find('\0') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = target.find('/', start);
    if (target.compare(start, slash == std::string::npos ? std::string::npos : slash - start,
                       "..") == 0)
      return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

bool CheckArchive(zip_t* archive, std::string* error) {
  zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count <= 0 || static_cast<zip_uint64_t>(count) > kMaxArchiveEntries) {
    *error = "the archive holds no members or too many";
    return false;
  }
  std::set<std::string> names, links;
  zip_uint64_t total = 0;
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i)
    if (!CheckMember(archive, i, &names, &links, &total, error)) return false;
  if (UnderALink(names, links)) {
    *error = "a member lies under a link";
    return false;
  }
  return true;
}

bool UnpackArchive(const std::string& zipPath, const std::string& folder,
                   const std::atomic<bool>& cancel, std::string* error) {
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(
      zip_open(zipPath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!archive) {
    *error = "not a complete zip archive";
    return false;
  }
  if (!CheckArchive(archive.get(), error)) return false;
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i)
    if (!UnpackMember(archive.get(), i, folder, cancel, error)) return false;
  return true;
}

}  // namespace lumo::renew
