#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumo::platform {

// Full path of the running executable, empty when it cannot be read.
std::string ExecutablePath();

// The user's local application-data folder ($XDG_DATA_HOME, else ~/.local/share).
std::string LocalAppDataFolder();

// A per-user folder for locks and sockets, ours and closed to others: $XDG_RUNTIME_DIR when it
// is such a folder, else one of our own in $TMPDIR (default /tmp); empty when neither is.
std::string RuntimeFolder();

enum class MakeDirResult { kCreated, kExists, kFailed };
// Creates one folder level; parents are not created.
MakeDirResult MakeDir(const std::string& path);
// Creates a folder and any missing parents; true when it exists afterwards. `ownerOnly` closes
// the folders it creates to other users.
bool MakeDirs(const std::string& path, bool ownerOnly = false);
// Creates a new folder, closed to other users, named `prefix` plus a unique ending; its path, or
// empty when it could not be made.
std::string MakeUniqueDir(const std::string& prefix);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& path);
// A folder in which this user may create files.
bool IsWritableDirectory(const std::string& path);
// The size of a regular file; false when `path` is missing or not a regular file.
bool RegularFileSize(const std::string& path, std::uint64_t* size);
// The bytes this user may still write on the file system that holds `path`.
bool FreeSpaceOf(const std::string& path, std::uint64_t* bytes);
// Removes a file; false when it could not be removed (a missing file included).
bool RemoveFile(const std::string& path);
// Removes a file or a folder with everything in it. Links are removed, never followed, so
// nothing outside `path` goes.
void RemoveTree(const std::string& path);
// Opens a named pipe for reading without blocking, and for writing too, so that it never reports
// end of file while no writer holds it. The descriptor, or -1.
int OpenPipeForReading(const std::string& path);

// A local, non-removable mounted file system: the counterpart of a fixed drive.
struct FixedVolume {
  std::string root;             // mount point
  bool freeKnown = false;       // free space could be read
  std::uint64_t freeBytes = 0;  // available to the calling user
};

// Fixed volumes in mount-table order. Tests replace the source with SetVolumeSourceForTest.
std::vector<FixedVolume> ListFixedVolumes();
// The mount point of the listed volume that holds `path` (the longest matching root).
std::string VolumeRootOf(const std::string& path);
void SetVolumeSourceForTest(std::function<std::vector<FixedVolume>()> source);

// Writes `data` to `path` through a temporary file in the same folder and a rename, so a
// crash or a full disk leaves either the old or the new file, never a torn one.
bool WriteFileAtomically(const std::string& path, const std::string& data);
bool ReadWholeFile(const std::string& path, std::string* data);
// A regular file opened for reading at any offset, closed with the object.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile();
  // False when `path` cannot be opened or is not a regular file (a pipe would block readers);
  // `error` says why.
  bool Open(const std::string& path, std::string* error);
  std::uint64_t size() const { return size_; }
  // Exactly `size` bytes from `offset`; false on an error or past the end of the file.
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) const;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The SHA-256 of a file's bytes in lower-case hex, and its size; false when it cannot be read.
bool HashFile(const std::string& path, std::string* sha256, std::uint64_t* size);

}  // namespace lumo::platform
