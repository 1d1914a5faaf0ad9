#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/file-system.h"
#include "platform/single-instance.h"

namespace lumo::platform {

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return;
  std::string path = folder + "/" + name + ".lock";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  // flock is released by the kernel when the holder dies, so a crash leaves no stale lock.
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    result_ = Result::kAcquired;
  } else {
    result_ = errno == EWOULDBLOCK ? Result::kAlreadyHeld : Result::kFailed;
    close(fd_);
    fd_ = -1;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace lumo::platform
