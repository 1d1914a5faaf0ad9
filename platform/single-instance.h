#pragma once

#include <string>

namespace lumo::platform {

// A per-user named lock: the first process to take a name holds it until it exits; a
// crashed holder releases it with its death, so no stale lock survives.
class SingleInstanceLock {
 public:
  enum class Result { kAcquired, kAlreadyHeld, kFailed };

  explicit SingleInstanceLock(const std::string& name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  Result result() const { return result_; }
  // Never closes the lock: the process keeps it until it ends.
  void Leak() { fd_ = -1; }

 private:
  int fd_ = -1;
  Result result_ = Result::kFailed;
};

}  // namespace lumo::platform
