#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mntent.h>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/file-system.h"

namespace lumo::platform {

namespace {

std::mutex volumeSourceMutex;
std::function<std::vector<FixedVolume>()> volumeSource;

// File systems that live on a local disk; network, memory and pseudo file systems are not
// drives a user would download to.
bool IsDiskFileSystem(const std::string& type) {
  static const std::set<std::string> kDisk = {"ext2",  "ext3", "ext4",     "xfs",     "btrfs",
                                              "f2fs",  "jfs",  "reiserfs", "zfs",     "vfat",
                                              "exfat", "ntfs", "ntfs3",    "fuseblk", "overlay"};
  return kDisk.count(type) != 0;
}

// True when the block device behind `device` says it is removable (a USB stick, a card).
bool IsRemovableDevice(const std::string& device) {
  if (device.rfind("/dev/", 0) != 0) return false;
  char resolved[PATH_MAX];
  if (!realpath(device.c_str(), resolved)) return false;
  std::string name = resolved + 5;  // strip "/dev/"
  // A partition's parent disk carries the flag: sdb1 -> sdb, nvme0n1p2 -> nvme0n1.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::ifstream in("/sys/block/" + name + "/removable");
    int flag = 0;
    if (in >> flag) return flag == 1;
    if (name.empty()) break;
    while (!name.empty() && isdigit(static_cast<unsigned char>(name.back()))) name.pop_back();
    if (!name.empty() && name.back() == 'p') name.pop_back();
  }
  return false;
}

std::vector<FixedVolume> ReadMountTable() {
  std::vector<FixedVolume> volumes;
  FILE* table = setmntent("/proc/self/mounts", "r");
  if (!table) return volumes;
  std::set<std::string> seen;
  while (mntent* entry = getmntent(table)) {
    if (!IsDiskFileSystem(entry->mnt_type) || IsRemovableDevice(entry->mnt_fsname)) continue;
    if (!seen.insert(entry->mnt_dir).second) continue;
    FixedVolume volume;
    volume.root = entry->mnt_dir;
    struct statvfs info {};
    if (statvfs(entry->mnt_dir, &info) == 0) {
      volume.freeKnown = true;
      volume.freeBytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    }
    volumes.push_back(volume);
  }
  endmntent(table);
  return volumes;
}

bool IsUnder(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, root.size(), root) != 0) return false;
  return path.size() == root.size() || path[root.size()] == '/';
}

}  // namespace

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string LocalAppDataFolder() {
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = getenv("HOME");
  if (!home || !*home) return {};
  return std::string(home) + "/.local/share";
}

std::string RuntimeFolder() {
  // Only a folder that is ours and closed to others may hold our lock and sockets: in any
  // other, another user could post to our windows or take our names.
  auto isPrivate = [](const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 0077) == 0;
  };
  struct stat info {};
  const char* xdg = getenv("XDG_RUNTIME_DIR");
  if (xdg && xdg[0] == '/' && stat(xdg, &info) == 0 && isPrivate(info)) return xdg;
  const char* tmp = getenv("TMPDIR");
  std::string folder = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/lumo-runtime-" +
                       std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  // lstat: a link planted in /tmp by someone else must not lead us into their folder.
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
    return {};
  if ((info.st_mode & 0077) != 0 && chmod(folder.c_str(), 0700) != 0) return {};
  return folder;
}

MakeDirResult MakeDir(const std::string& path) {
  if (path.empty()) return MakeDirResult::kFailed;
  if (mkdir(path.c_str(), 0755) == 0) return MakeDirResult::kCreated;
  if (errno == EEXIST && IsDirectory(path)) return MakeDirResult::kExists;
  return MakeDirResult::kFailed;
}

bool MakeDirs(const std::string& path, bool ownerOnly) {
  if (path.empty()) return false;
  mode_t mode = ownerOnly ? 0700 : 0755;
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), mode);
  mkdir(path.c_str(), mode);
  return IsDirectory(path);
}

std::string MakeUniqueDir(const std::string& prefix) {
  std::string path = prefix + "XXXXXX";
  return mkdtemp(path.data()) ? path : std::string();
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool IsWritableDirectory(const std::string& path) {
  return IsDirectory(path) && access(path.c_str(), W_OK | X_OK) == 0;
}

bool RegularFileSize(const std::string& path, std::uint64_t* size) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool FreeSpaceOf(const std::string& path, std::uint64_t* bytes) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return false;
  *bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && unlink(path.c_str()) == 0;
}

void RemoveTree(const std::string& path) {
  struct stat info {};
  if (path.empty() || lstat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    unlink(path.c_str());
    return;
  }
  for (const std::string& name : ListFolder(path)) RemoveTree(path + "/" + name);
  rmdir(path.c_str());
}

int OpenPipeForReading(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

std::vector<FixedVolume> ListFixedVolumes() {
  std::function<std::vector<FixedVolume>()> source;
  {
    std::lock_guard<std::mutex> lock(volumeSourceMutex);
    source = volumeSource;
  }
  return source ? source() : ReadMountTable();
}

std::string VolumeRootOf(const std::string& path) {
  std::string best;
  for (const FixedVolume& volume : ListFixedVolumes()) {
    if (IsUnder(path, volume.root) && volume.root.size() > best.size()) best = volume.root;
  }
  return best;
}

void SetVolumeSourceForTest(std::function<std::vector<FixedVolume>()> source) {
  std::lock_guard<std::mutex> lock(volumeSourceMutex);
  volumeSource = std::move(source);
}

bool WriteFileAtomically(const std::string& path, const std::string& data) {
  std::string temp = path + ".tmp-" + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  *data = out.str();
  return true;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

bool ReadOnlyFile::Open(const std::string& path, std::string* error) {
  // Non-blocking, so that opening a pipe planted under the name cannot hang; regular files
  // ignore the flag.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (error)
      *error =
          fd < 0 ? "cannot open " + path + ": " + std::strerror(errno) : path + " is not a file";
    if (fd >= 0) close(fd);
    return false;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool ReadOnlyFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
  auto* out = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(fd_, out, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the file ends (or shrank) before the bytes
    out += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace lumo::platform
