#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "components/xldl/callbacks.h"
#include "components/xldl/engine-limits.h"
#include "components/xldl/engine-wire.h"
#include "components/xldl/task.h"

namespace xldl {

// The engine as the library's callers see it. Tasks and what was last published of them are
// kept here; their transfers run in the engine's process (the program xldl-engine), started
// for the first download and ended once nothing has downloaded for sessionIdle seconds.
// aria2 and the TLS libraries it brings cannot be unloaded from a process once loaded, so a
// program that has this library loaded and is idle holds none of them.
// One thread of this object's own starts and ends the process and is the only one to touch
// its socket: control calls record what is wanted and wake it, queries read what it last
// published, and no caller ever waits on the process.
class EngineClient {
 public:
  // `program`: the engine's process, run with no arguments.
  explicit EngineClient(std::string program, EngineLimits limits = EngineLimits::FromEnvironment());
  // Ends the process, which writes the control files of unfinished downloads, then the thread.
  ~EngineClient();
  EngineClient(const EngineClient&) = delete;
  EngineClient& operator=(const EngineClient&) = delete;

  // False when the engine's program cannot be run. Prepares the process, as below.
  bool Start();
  // A download is likely soon: the process is started unless it runs, and kept at least
  // sessionIdle seconds from now, so that the download does not wait for it to start.
  void Prepare();

  std::uintptr_t CreateTask(TaskSpec recipe);
  bool StartTask(std::uintptr_t id);
  bool StopTask(std::uintptr_t id);
  bool Query(std::uintptr_t id, TaskSnapshot* snapshot);
  // `callback(context)` runs on this object's thread after a task's published state changed.
  void SetChangeCallback(void (*callback)(void*), void* context) {
    callbacks_.SetChange(callback, context);
  }
  // `callback(context, line)` runs on this object's thread for each line the engine says.
  void SetLogCallback(void (*callback)(void*, const char*), void* context) {
    callbacks_.SetLog(callback, context);
  }

 private:
  struct Task {
    TaskSpec recipe;
    bool wantRunning = false;
    // Starts and stops asked for, counted; the last of them handed to the process.
    std::uint64_t command = 0;
    std::uint64_t sentCommand = 0;
    // Created in the process that runs now.
    bool inProcess = false;
    TaskSnapshot published;
    std::int32_t announcedState = kXlPaused;
  };

  void Run();
  // Under mutex_.
  bool WantsProcess() const;
  bool Busy() const;
  std::vector<wire::Message> TakeCommands();
  // The process is gone, or never came: a download it had on its way ends as failed, and so
  // does one still to be sent when `failUnsent`. True when one failed.
  bool ForgetProcess(bool failUnsent);
  bool TakeStateChanges();
  void Wake();
  // On this object's thread, without mutex_.
  bool LaunchProcess();
  // Reads what the process said; false once it has gone or broke the rules.
  bool ReadReports();
  void Take(const wire::Message& message);
  // Lets the process end its session and waits for it; `closed` once it has closed its end.
  void EndProcess(bool closed);

  const std::string program_;
  const EngineLimits limits_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::uintptr_t nextId_ = 1;
  std::map<std::uintptr_t, Task> tasks_;
  bool prepareWanted_ = false;
  std::chrono::steady_clock::time_point preparedAt_;
  int wake_ = -1;
  Callbacks callbacks_;
  // Touched only on this object's thread.
  pid_t pid_ = -1;
  int socket_ = -1;
  // Last: it runs the members above until it is joined.
  std::thread thread_;
};

}  // namespace xldl
