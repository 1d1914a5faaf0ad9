#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "components/xldl/callbacks.h"
#include "components/xldl/engine-limits.h"
#include "components/xldl/length-probe.h"
#include "components/xldl/task.h"

namespace xldl {

// Runs every transfer of the engine's process on one thread that owns the aria2 session.
// aria2's session is not thread-safe and one turn of its loop can last a second, so control
// calls only record what is wanted and wake the thread, and queries read what it last
// published. The session lasts as long as the engine: the process ends when it idles.
class Engine {
 public:
  explicit Engine(EngineLimits limits = EngineLimits::FromEnvironment());
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Starts the engine thread, which makes aria2's session.
  void Start();

  std::uintptr_t CreateTask(TaskSpec recipe);
  bool StartTask(std::uintptr_t id);
  bool StopTask(std::uintptr_t id);
  bool Query(std::uintptr_t id, TaskSnapshot* snapshot);
  // `callback(context)` runs on the engine thread after a task's published state changed.
  void SetChangeCallback(void (*callback)(void*), void* context) {
    callbacks_.SetChange(callback, context);
  }
  // `callback(context, line)` runs on the engine thread for each line the engine says.
  void SetLogCallback(void (*callback)(void*, const char*), void* context) {
    callbacks_.SetLog(callback, context);
  }

 private:
  struct Task;
  class Session;

  void Run();
  // Returns whether aria2 has work to poll for.
  bool ApplyControls(Session& session);
  bool ApplyControl(Session& session, Task& task);
  // Adds the task's download to aria2 afresh; aria2 resumes from a control file it finds.
  // False when it could not.
  bool AddDownload(Session& session, Task& task);
  // Ends a live download that has passed a limit; true when it did.
  bool EnforceLimits(Session& session, Task& task, std::int64_t total, std::int64_t completed);
  void Publish(Session& session);
  // Whether a task's published state differs from the one last announced; marks it announced.
  bool TakeStateChanges();
  // On the engine thread: keeps a line to be said once the engine's lock is released.
  // Starts a download cut for slowness again later, while this start has retries left.
  bool RetryWhenSlow(Task& task, std::int32_t errorCode);
  // On the probe thread: what the server said of the task's length.
  void TakeProbeAnswer(std::uintptr_t id, ProbeAnswer answer);

  const EngineLimits limits_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool callsPending_ = false;
  std::uintptr_t nextId_ = 1;
  std::map<std::uintptr_t, std::unique_ptr<Task>> tasks_;
  std::thread thread_;
  Callbacks callbacks_;
  // Touched only on the engine thread: the files of the downloads that were running at the
  // last look, written back as they arrive, outside the lock.
  std::vector<std::string> arriving_;
  // When the earliest retry of a slow download is due; max() when none is.
  std::chrono::steady_clock::time_point nextRetry_ = std::chrono::steady_clock::time_point::max();
  // Last: its thread calls into the members above until it is joined.
  LengthProbes probes_;
};

}  // namespace xldl
