#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace xldl {

// The two callbacks an engine calls on its own thread, for a change of a task's state and
// for a line it says, with the lines it has still to say. Lines are kept while the engine
// holds its own lock and said once it has let go of it: the callbacks' owner may be inside a
// control call that waits for that lock.
class Callbacks {
 public:
  // Any thread. When one returns, the callback it replaced is not running and is never called
  // again.
  void SetChange(void (*callback)(void*), void* context);
  void SetLog(void (*callback)(void*, const char*), void* context);

  // On the engine's thread, its lock held or not.
  void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Keep(std::string line) { kept_.push_back(std::move(line)); }
  // On the engine's thread, without its lock. Lines go to standard error when no callback
  // takes them.
  void Announce();
  void SayKept();

 private:
  // Held while a callback runs, so that replacing it waits for a call in progress.
  std::mutex mutex_;
  void (*change_)(void*) = nullptr;
  void* changeContext_ = nullptr;
  void (*log_)(void*, const char*) = nullptr;
  void* logContext_ = nullptr;
  // Touched only on the engine's thread.
  std::vector<std::string> kept_;
};

}  // namespace xldl
