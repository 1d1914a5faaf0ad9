#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace runbox {

enum class RunEnd { kExited, kNotStarted, kTimedOut, kCancelled };

struct RunLimits {
  std::chrono::milliseconds timeout{60000};
  const std::atomic<bool>* cancel = nullptr;  // set when the player is closing
};

// Runs argv[0] with `argv` (no shell), collects what it writes to stdout and stderr (up to a
// few megabytes) and waits for it. A program that outlasts `limits`, or is cancelled, is
// killed with the process group it leads. `exitCode` is 128 + signal after a signal. A
// program that leaves a daemon holding its output (adb start-server) ends when it exits.
RunEnd RunAndCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                     const RunLimits& limits = {});

// The path of `name` on PATH, or `name` itself when it holds a '/' and can be run; empty when
// there is no such program.
std::string FindProgram(const std::string& name);

// A program the player starts and owns (a mirror of a device's screen): ended when Start runs
// again, on End and when the object goes. Its output goes nowhere.
class OwnedChild {
 public:
  OwnedChild() = default;
  ~OwnedChild();
  OwnedChild(const OwnedChild&) = delete;
  OwnedChild& operator=(const OwnedChild&) = delete;
  bool Start(const std::vector<std::string>& argv);
  // False once it has ended, which it may do by itself.
  bool Running();
  // SIGTERM, then SIGKILL when it has not gone after a short grace.
  void End();

 private:
  pid_t pid_ = -1;
};

}  // namespace runbox
