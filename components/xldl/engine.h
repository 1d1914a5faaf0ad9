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

#include "components/xldl/length-probe.h"
#include "components/xldl/xldl.h"

namespace xldl {

// aria2's exit status values that the engine reports itself or acts on.
inline constexpr std::int32_t kErrorUnknown = 1;
inline constexpr std::int32_t kErrorTooSlow = 5;
inline constexpr std::int32_t kErrorCannotResume = 8;
inline constexpr std::int32_t kErrorNoRoom = 9;
inline constexpr std::int32_t kErrorFileCreate = 16;
inline constexpr std::int32_t kErrorWrongLength = 32;

// What no server may make a download do. Each can be changed through the environment of the
// process that loads the engine (XLDL_LOWEST_SPEED, XLDL_SLOW_GRACE, XLDL_SLOW_RETRIES,
// XLDL_LENGTH_CAP, XLDL_FREE_MARGIN, XLDL_SESSION_IDLE, in bytes, bytes per second, seconds
// or a count), so that a test can bring them within its reach.
struct EngineLimits {
  // A connection slower than this (bytes per second) once slowGrace seconds have passed is
  // closed: a server that drips a byte now and then never holds a task "downloading" for ever.
  std::int64_t lowestSpeed = 1024;
  std::int64_t slowGrace = 10;
  // A download cut for slowness starts again this many times, after 1, 2, 4... seconds,
  // before its task fails.
  std::int64_t slowRetries = 3;
  // The most a file may be, whether or not the server announced its length.
  std::int64_t lengthCap = std::int64_t{8} << 30;
  // Free space left on the save folder's disk whatever a download needs.
  std::int64_t freeMargin = std::int64_t{64} << 20;
  // Seconds the engine keeps aria2's session once its last download has ended. A session holds
  // the system's trusted certificates, parsed (about 4 MiB); the next download makes a new one,
  // in about 12 ms.
  std::int64_t sessionIdle = 10;

  static EngineLimits FromEnvironment();
};

// What a caller sees of a task: the last state the engine thread published, or the state a
// control call has just asked for.
struct TaskSnapshot {
  std::int32_t state = kXlPaused;  // paused until started
  std::int32_t failCode = 0;
  std::string fileName;  // UTF-8, no folder
  std::int64_t totalLength = 0;
  std::int64_t completedLength = 0;
  std::int32_t speed = 0;
};

struct TaskSpec {
  std::string url;
  std::string saveFolder;
  std::string fileName;
  // Set when the name or folder was refused: the task fails at its first start.
  bool refused = false;
};

// Runs every transfer on one thread that owns the aria2 session. aria2's session is not
// thread-safe and one turn of its loop can last a second, so control calls only record what
// is wanted and wake the thread, and queries read what it last published.
class Engine {
 public:
  explicit Engine(EngineLimits limits = EngineLimits::FromEnvironment());
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // False when the aria2 session could not be made.
  bool Start();

  std::uintptr_t CreateTask(TaskSpec recipe);
  bool StartTask(std::uintptr_t id);
  bool StopTask(std::uintptr_t id);
  bool Query(std::uintptr_t id, TaskSnapshot* snapshot);
  // `callback(context)` runs on the engine thread after a task's published state changed.
  void SetChangeCallback(void (*callback)(void*), void* context);
  // `callback(context, line)` runs on the engine thread for each line the engine says.
  void SetLogCallback(void (*callback)(void*, const char*), void* context);

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
  // Ends aria2's session; the tasks keep what they last published.
  void CloseSession(Session& session);
  // Ends a live download that has passed a limit; true when it did.
  bool EnforceLimits(Session& session, Task& task, std::int64_t total, std::int64_t completed);
  void Publish(Session& session);
  // Whether a task's published state differs from the one last announced; marks it announced.
  bool TakeStateChanges();
  void Announce();
  // On the engine thread: keeps a line to be said once the engine's lock is released.
  void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void SayKeptLines();
  // Starts a download cut for slowness again later, while this start has retries left.
  bool RetryWhenSlow(Task& task, std::int32_t errorCode);
  // On the probe thread: what the server said of the task's length.
  void TakeProbeAnswer(std::uintptr_t id, ProbeAnswer answer);

  const EngineLimits limits_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool started_ = false;
  bool callsPending_ = false;
  std::uintptr_t nextId_ = 1;
  std::map<std::uintptr_t, std::unique_ptr<Task>> tasks_;
  std::thread thread_;
  // Held while the callback runs, so that replacing it waits for a call in progress.
  std::mutex callbackMutex_;
  void (*callback_)(void*) = nullptr;
  void* callbackContext_ = nullptr;
  void (*logCallback_)(void*, const char*) = nullptr;
  void* logContext_ = nullptr;
  // Touched only on the engine thread.
  std::vector<std::string> keptLines_;
  // The files of the downloads that were running at the last look, written back as they
  // arrive, outside the lock.
  std::vector<std::string> arriving_;
  // When the earliest retry of a slow download is due; max() when none is.
  std::chrono::steady_clock::time_point nextRetry_ = std::chrono::steady_clock::time_point::max();
  // Last: its thread calls into the members above until it is joined.
  LengthProbes probes_;
};

// Refuses names that would put the file anywhere but directly inside the save folder.
bool IsPlainFileName(const std::string& name);
// An absolute folder without "." or ".." steps.
bool IsPlainFolder(const std::string& folder);

}  // namespace xldl
