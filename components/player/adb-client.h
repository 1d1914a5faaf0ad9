#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "components/player/child-process.h"

namespace runbox {

// What one adb command did.
struct AdbResult {
  RunEnd end = RunEnd::kNotStarted;
  int exitCode = -1;
  std::string output;  // stdout and stderr together, as adb interleaves them
  bool ran() const { return end == RunEnd::kExited; }
  bool ok() const { return ran() && exitCode == 0; }
  // "adb install failed (1): <first line>" and the like, for the log and the user.
  std::string Why(const std::string& what) const;
};

// The adb program, run with argv and a time limit on every command, so that a hung adb or
// device never holds the player. Calls of one object come from one thread (the player's
// request thread); the object keeps no state but the program's path.
class Adb {
 public:
  static constexpr std::chrono::seconds kQuick{10};

  Adb(std::string program, const std::atomic<bool>* cancel);
  // Looks for the program again (it may have been installed since): false when there is none.
  bool Find();
  bool found() const { return !path_.empty(); }
  bool cancelled() const { return cancel_ && cancel_->load(); }
  AdbResult Run(const std::vector<std::string>& arguments,
                std::chrono::milliseconds timeout = kQuick) const;
  // `adb -s SERIAL ARGUMENTS...`
  AdbResult OnDevice(const std::string& serial, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds timeout = kQuick) const;
  // `adb -s SERIAL shell COMMAND...`: the words reach the device's shell joined by spaces, so
  // every word must already be one the shell takes as it is.
  AdbResult Shell(const std::string& serial, const std::vector<std::string>& command,
                  std::chrono::milliseconds timeout = kQuick) const;

 private:
  std::string program_;
  std::string path_;
  const std::atomic<bool>* cancel_;
};

}  // namespace runbox
