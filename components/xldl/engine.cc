#include "components/xldl/engine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include <aria2/aria2.h>

namespace xldl {

namespace {

// Several connections per file, each at least a megabyte apart; a lost connection is
// retried a few times before the task fails, so a flaky server still finishes the file.
aria2::KeyVals SessionOptions(const EngineLimits& limits) {
  aria2::KeyVals options = {
      {"max-concurrent-downloads", "16"},
      {"split", "8"},
      {"max-connection-per-server", "8"},
      {"min-split-size", "1M"},
      {"max-tries", "5"},
      {"retry-wait", "1"},
      {"connect-timeout", "10"},
      {"timeout", "20"},
      // The control file beside a partial file is what lets a killed process resume; saving
      // it every second bounds what a kill loses.
      {"auto-save-interval", "1"},
      {"file-allocation", "none"},
      // Written straight through to the kernel's page cache, which already gathers the writes:
      // aria2's own cache would copy every byte once more and hold up to 16 MiB per session.
      {"disk-cache", "0"},
      // A leftover file without a control file says nothing about its content: start over
      // instead of trusting it or picking another name.
      {"allow-overwrite", "true"},
      {"auto-file-renaming", "false"},
      {"continue", "false"},
      {"quiet", "true"},
      {"console-log-level", "error"},
      {"download-result", "hide"},
      {"summary-interval", "0"},
  };
  if (limits.lowestSpeed > 0) {
    options.emplace_back("lowest-speed-limit", std::to_string(limits.lowestSpeed));
    // aria2 takes 1 to 60 seconds.
    options.emplace_back("startup-idle-time",
                         std::to_string(std::clamp<std::int64_t>(limits.slowGrace, 1, 60)));
  }
  return options;
}

// aria2 looks at its queue of waiting downloads only after its next idle wait, which lasts
// a second when no connection is open. Pausing a waiting download is one of the calls that
// cut that wait short, and unpausing it puts it back unchanged: the pair starts a newly
// queued download at once.
void StartSoon(aria2::Session* session, aria2::A2Gid gid) {
  if (aria2::pauseDownload(session, gid, false) == 0) aria2::unpauseDownload(session, gid);
}

std::string BaseName(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FilePath(const TaskSpec& recipe) {
  return recipe.saveFolder + "/" + recipe.fileName;
}

// The partial file and the control file that lets aria2 continue it.
void RemovePartial(const TaskSpec& recipe) {
  std::remove(FilePath(recipe).c_str());
  std::remove((FilePath(recipe) + ".aria2").c_str());
}

// aria2 flushes a finished file to the disk before it calls it complete; on a fast link the
// whole file would be written in that one wait. Asking the kernel to start writing what has
// arrived, as it arrives, leaves that flush only the last moments' data. It does not wait.
// Asked on a clock of its own rather than at each look at the tasks: on a local link a
// whole game arrives between two looks.
constexpr auto kWriteBackInterval = std::chrono::milliseconds(20);
void StartWriteBack(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  ::close(fd);
}

std::int64_t FreeBytes(const std::string& folder) {
  struct statvfs disk {};
  if (statvfs(folder.c_str(), &disk) != 0) return INT64_MAX;
  return static_cast<std::int64_t>(disk.f_bavail) * static_cast<std::int64_t>(disk.f_frsize);
}

}  // namespace

namespace {
constexpr auto kNever = std::chrono::steady_clock::time_point::max();
}  // namespace

struct Engine::Task {
  std::uintptr_t id = 0;
  TaskSpec recipe;
  // Written by callers: what is wanted. Each start or stop bumps commandSeq; each start
  // also bumps startSeq, which is what turns a failed task into a retry.
  bool wantRunning = false;
  std::uint64_t commandSeq = 0;
  std::uint64_t startSeq = 0;
  // The engine thread's own bookkeeping.
  aria2::A2Gid gid = 0;
  std::uint64_t appliedStartSeq = 0;
  std::uint64_t appliedCommandSeq = 0;
  bool pauseSent = false;
  // Each start first asks the server for the file's length, away from the engine thread.
  enum class Probe { kNone, kAsked, kFits, kTooLong } probe = Probe::kNone;
  // Set when this start has already begun the file again from zero.
  bool restartedFromZero = false;
  // Slow cuts retried in this start, and when the next retry is due (kNever: none waits).
  std::int64_t slowRetriesUsed = 0;
  std::chrono::steady_clock::time_point retryAt = kNever;
  // The engine's own reason for ending the download, reported in place of aria2's.
  std::int32_t ownFailCode = 0;
  // What was written is not the file: it goes once aria2 has let go of it.
  bool discardPartial = false;
  TaskSnapshot published;
  std::int32_t announcedState = kXlPaused;
};

// The one aria2 session of the process, while there is one; lives on the engine thread.
class Engine::Session {
 public:
  // changed is set, on the engine thread, whenever a download starts, pauses, stops,
  // completes or fails.
  Session(bool* changed, const EngineLimits& limits) : changed_(changed), limits_(limits) {}
  ~Session() { Close(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Makes aria2's session unless there is one; false when it cannot be made.
  bool Open() {
    if (session_) return true;
    // aria2's global state does not survive a deinit and a second init in one process, so
    // it is set up once and left to the process's end.
    static std::once_flag once;
    std::call_once(once, [] { aria2::libraryInit(); });
    aria2::SessionConfig config;
    config.keepRunning = true;
    // Signals belong to the program that loaded the engine.
    config.useSignalHandler = false;
    config.downloadEventCallback = [](aria2::Session*, aria2::DownloadEvent, aria2::A2Gid,
                                      void* flag) {
      *static_cast<bool*>(flag) = true;
      return 0;
    };
    config.userData = changed_;
    session_ = aria2::sessionNew(SessionOptions(limits_), config);
    return session_ != nullptr;
  }
  void Close() {
    if (!session_) return;
    // A graceful stop writes the control files of unfinished downloads.
    aria2::shutdown(session_, false);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (aria2::run(session_, aria2::RUN_ONCE) == 1) {
      if (std::chrono::steady_clock::now() > deadline) aria2::shutdown(session_, true);
    }
    aria2::sessionFinal(session_);
    session_ = nullptr;
  }
  aria2::Session* get() const { return session_; }

 private:
  bool* changed_;
  const EngineLimits& limits_;
  aria2::Session* session_ = nullptr;
};

Engine::Engine(EngineLimits limits)
    : limits_(limits), probes_(limits.lengthCap, [this](std::uintptr_t id, ProbeAnswer answer) {
        TakeProbeAnswer(id, answer);
      }) {}

void Engine::TakeProbeAnswer(std::uintptr_t id, ProbeAnswer answer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tasks_.find(id);
    if (it == tasks_.end() || it->second->probe != Task::Probe::kAsked) return;
    it->second->probe =
        answer == ProbeAnswer::kTooLong ? Task::Probe::kTooLong : Task::Probe::kFits;
    callsPending_ = true;
  }
  wake_.notify_all();
}

Engine::~Engine() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Engine::Start() {
  thread_ = std::thread(&Engine::Run, this);
}

void Engine::Run() {
  // Touched only on this thread: aria2 calls back from inside its turn.
  bool groupsChanged = false;
  Session session(&groupsChanged, limits_);
  // Made while the first downloads' servers are asked for their lengths; a session that
  // cannot be made is tried again by each download, which fails without it.
  if (!session.Open()) callbacks_.Say("aria2's session could not be made");
  // One turn of aria2 moves a few kilobytes per connection, so the tasks are looked at only
  // every kLookInterval, or at once when a call has come or a download changed state: a
  // transfer spends its time in aria2, not in reading its state. Looking at once after a
  // change matters at the end of a download: with no connection left, the next turn would
  // sit in aria2's idle wait for a second before the completion is published.
  constexpr auto kLookInterval = std::chrono::milliseconds(100);
  auto nextLook = std::chrono::steady_clock::now();
  auto nextWriteBack = nextLook;
  bool busy = false;
  for (;;) {
    bool changed = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (stopping_) break;
      auto now = std::chrono::steady_clock::now();
      if (callsPending_ || groupsChanged || now >= nextLook) {
        callsPending_ = false;
        groupsChanged = false;
        nextLook = now + kLookInterval;
        busy = ApplyControls(session);
        Publish(session);
        changed = TakeStateChanges();
      }
      // With nothing handed to aria2 there is nothing to poll: sleep until a call comes or a
      // retry is due. A change to announce is announced first.
      if (!busy && !changed) {
        wake_.wait_until(lock, nextRetry_, [this] { return callsPending_ || stopping_; });
      }
    }
    // Outside the lock: the callbacks' owner may be inside a control call, waiting for it.
    callbacks_.SayKept();
    if (changed) callbacks_.Announce();
    if (busy && session.get()) {
      auto now = std::chrono::steady_clock::now();
      if (now >= nextWriteBack) {
        nextWriteBack = now + kWriteBackInterval;
        for (const std::string& path : arriving_) StartWriteBack(path);
      }
      aria2::run(session.get(), aria2::RUN_ONCE);
    }
  }
}

bool Engine::TakeStateChanges() {
  bool changed = false;
  for (auto& [id, task] : tasks_) {
    if (task->published.state == task->announcedState) continue;
    task->announcedState = task->published.state;
    changed = true;
  }
  return changed;
}

bool Engine::ApplyControls(Session& session) {
  bool busy = false;
  nextRetry_ = kNever;
  for (auto& [id, task] : tasks_) {
    busy = ApplyControl(session, *task) || busy;
    if (task->wantRunning) nextRetry_ = std::min(nextRetry_, task->retryAt);
  }
  return busy;
}

bool Engine::ApplyControl(Session& session, Task& t) {
  t.appliedCommandSeq = t.commandSeq;
  bool retry = t.wantRunning && t.startSeq > t.appliedStartSeq;
  if (t.recipe.refused) {
    if (retry) {
      t.appliedStartSeq = t.startSeq;
      t.published.state = kXlError;
      t.published.failCode = kErrorFileCreate;
    }
    return false;
  }
  aria2::DownloadStatus status = aria2::DOWNLOAD_REMOVED;
  std::int32_t errorCode = 0;
  std::int64_t total = 0, completed = 0;
  if (t.gid != 0) {
    aria2::DownloadHandle* handle = aria2::getDownloadHandle(session.get(), t.gid);
    if (handle) {
      status = handle->getStatus();
      errorCode = handle->getErrorCode();
      total = handle->getTotalLength();
      completed = handle->getCompletedLength();
    }
    aria2::deleteDownloadHandle(handle);
  }
  bool stopped = status == aria2::DOWNLOAD_ERROR || status == aria2::DOWNLOAD_REMOVED;
  if (stopped && t.discardPartial) {
    RemovePartial(t.recipe);
    t.discardPartial = false;
  }
  if (stopped && retry) {
    if (t.probe == Task::Probe::kNone) {
      t.probe = Task::Probe::kAsked;
      probes_.Ask(t.id, t.recipe.url);
    }
    if (t.probe == Task::Probe::kAsked) return false;
    bool tooLong = t.probe == Task::Probe::kTooLong;
    t.probe = Task::Probe::kNone;
    t.appliedStartSeq = t.startSeq;
    if (tooLong) {
      callbacks_.Say("%s: longer than it may be, as its server announces; download refused",
                     FilePath(t.recipe).c_str());
      t.published.state = kXlError;
      t.published.failCode = kErrorNoRoom;
      return false;
    }
    t.restartedFromZero = false;
    t.slowRetriesUsed = 0;
    return AddDownload(session, t);
  }
  if (t.retryAt != kNever) {
    if (!t.wantRunning || std::chrono::steady_clock::now() < t.retryAt) return false;
    return AddDownload(session, t);
  }
  if (status == aria2::DOWNLOAD_ERROR && RetryWhenSlow(t, errorCode)) return false;
  // A server that ignores Range cannot continue a partial file. Once per start, the file is
  // begun again from its first byte, over one connection, since that server cannot split it.
  if (status == aria2::DOWNLOAD_ERROR && errorCode == kErrorCannotResume && t.wantRunning &&
      !t.restartedFromZero) {
    t.restartedFromZero = true;
    RemovePartial(t.recipe);
    callbacks_.Say("%s: the server does not resume it; downloading it again from 0",
                   FilePath(t.recipe).c_str());
    return AddDownload(session, t);
  }
  if (status == aria2::DOWNLOAD_PAUSED && t.wantRunning) {
    t.appliedStartSeq = t.startSeq;
    // Refused while a pause is still settling; the next turn tries again.
    if (aria2::unpauseDownload(session.get(), t.gid) == 0) {
      t.pauseSent = false;
      StartSoon(session.get(), t.gid);
    }
    return true;
  }
  bool live = status == aria2::DOWNLOAD_ACTIVE || status == aria2::DOWNLOAD_WAITING;
  if (live && t.ownFailCode == 0 && EnforceLimits(session, t, total, completed)) {
    // A start that came meanwhile is spent: it must not bring back what was just ended.
    t.appliedStartSeq = t.startSeq;
    return true;
  }
  if (live && !t.wantRunning && !t.pauseSent) {
    t.pauseSent = aria2::pauseDownload(session.get(), t.gid, false) == 0;
  } else if (t.wantRunning) {
    t.appliedStartSeq = t.startSeq;
  }
  return live;
}

bool Engine::AddDownload(Session& session, Task& t) {
  aria2::KeyVals options = {{"dir", t.recipe.saveFolder}, {"out", t.recipe.fileName}};
  if (t.restartedFromZero)
    options.insert(options.end(), {{"split", "1"}, {"max-connection-per-server", "1"}});
  t.pauseSent = false;
  t.ownFailCode = 0;
  t.retryAt = kNever;
  if (!session.Open() || aria2::addUri(session.get(), &t.gid, {t.recipe.url}, options) != 0) {
    t.gid = 0;
    t.published.state = kXlError;
    t.published.failCode = kErrorUnknown;
    return false;
  }
  StartSoon(session.get(), t.gid);
  return true;
}

bool Engine::RetryWhenSlow(Task& t, std::int32_t errorCode) {
  if (errorCode != kErrorTooSlow || !t.wantRunning) return false;
  if (t.slowRetriesUsed >= limits_.slowRetries) {
    // Said once: the failed download keeps its status until the next start.
    if (t.slowRetriesUsed++ == limits_.slowRetries)
      callbacks_.Say("%s: the connection was too slow %lld times; download ended",
                     FilePath(t.recipe).c_str(), static_cast<long long>(t.slowRetriesUsed));
    return false;
  }
  auto wait = std::chrono::seconds(std::int64_t{1} << std::min<std::int64_t>(t.slowRetriesUsed, 6));
  ++t.slowRetriesUsed;
  t.retryAt = std::chrono::steady_clock::now() + wait;
  callbacks_.Say("%s: the connection was too slow; trying again in %lld s",
                 FilePath(t.recipe).c_str(), static_cast<long long>(wait.count()));
  return true;
}

bool Engine::EnforceLimits(Session& session, Task& t, std::int64_t total, std::int64_t completed) {
  // aria2 stops at an announced length itself; without one, only the cap stops the file.
  bool tooLong = total > limits_.lengthCap || completed > (total > 0 ? total : limits_.lengthCap);
  std::int64_t stillNeeded = total > completed ? total - completed : 0;
  bool noRoom = FreeBytes(t.recipe.saveFolder) - stillNeeded < limits_.freeMargin;
  if (!tooLong && !noRoom) return false;
  callbacks_.Say("%s: %s at %lld of %lld bytes; download ended", FilePath(t.recipe).c_str(),
                 tooLong ? "longer than it may be" : "would not fit on the disk",
                 static_cast<long long>(completed), static_cast<long long>(total));
  aria2::removeDownload(session.get(), t.gid, true);
  t.ownFailCode = kErrorNoRoom;
  t.discardPartial = tooLong;
  return true;
}

void Engine::Publish(Session& session) {
  arriving_.clear();
  for (auto& [id, task] : tasks_) {
    Task& t = *task;
    // A call made since the last turn has already set what callers should see.
    if (t.gid == 0 || t.appliedCommandSeq != t.commandSeq) continue;
    // A download waiting for its retry or for its server's answer is still on its way.
    if (t.retryAt != kNever || t.probe == Task::Probe::kAsked) {
      t.published.state = t.wantRunning ? kXlDownloading : kXlPaused;
      t.published.speed = 0;
      continue;
    }
    aria2::DownloadHandle* handle = aria2::getDownloadHandle(session.get(), t.gid);
    if (!handle) continue;
    TaskSnapshot& s = t.published;
    s.totalLength = handle->getTotalLength();
    s.completedLength = handle->getCompletedLength();
    s.speed = handle->getDownloadSpeed();
    std::vector<aria2::FileData> files = handle->getFiles();
    if (!files.empty() && !files[0].path.empty()) s.fileName = BaseName(files[0].path);
    switch (handle->getStatus()) {
      case aria2::DOWNLOAD_ACTIVE:
      case aria2::DOWNLOAD_WAITING:
        arriving_.push_back(FilePath(t.recipe));
        s.state = t.wantRunning ? kXlDownloading : kXlPaused;
        break;
      case aria2::DOWNLOAD_PAUSED:
        s.state = t.wantRunning ? kXlDownloading : kXlPaused;
        s.speed = 0;
        break;
      case aria2::DOWNLOAD_COMPLETE:
        s.state = kXlComplete;
        s.speed = 0;
        break;
      case aria2::DOWNLOAD_ERROR:
      case aria2::DOWNLOAD_REMOVED:
        s.state = kXlError;
        s.failCode = t.ownFailCode != 0 ? t.ownFailCode : handle->getErrorCode();
        if (s.failCode == 0) s.failCode = kErrorUnknown;
        s.speed = 0;
        break;
    }
    aria2::deleteDownloadHandle(handle);
  }
}

std::uintptr_t Engine::CreateTask(TaskSpec recipe) {
  auto task = std::make_unique<Task>();
  CheckRecipe(recipe);
  task->published.fileName = IsPlainFileName(recipe.fileName) ? recipe.fileName : std::string();
  task->recipe = std::move(recipe);
  std::lock_guard<std::mutex> lock(mutex_);
  std::uintptr_t id = nextId_++;
  task->id = id;
  tasks_[id] = std::move(task);
  return id;
}

bool Engine::StartTask(std::uintptr_t id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return false;
    Task& t = *it->second;
    callsPending_ = true;
    t.wantRunning = true;
    ++t.commandSeq;
    ++t.startSeq;
    // A task aria2 has not got yet needs its server's answer first, asked at once: the engine
    // thread may still be making the session.
    if (t.gid == 0 && t.probe == Task::Probe::kNone && !t.recipe.refused && t.retryAt == kNever) {
      t.probe = Task::Probe::kAsked;
      probes_.Ask(t.id, t.recipe.url);
    }
    if (t.published.state != kXlComplete) {
      t.published.state = kXlDownloading;
      t.published.failCode = 0;
      t.published.speed = 0;
    }
  }
  wake_.notify_all();
  return true;
}

bool Engine::StopTask(std::uintptr_t id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return false;
    Task& t = *it->second;
    callsPending_ = true;
    t.wantRunning = false;
    ++t.commandSeq;
    if (t.published.state == kXlDownloading) {
      t.published.state = kXlPaused;
      t.published.speed = 0;
    }
  }
  wake_.notify_all();
  return true;
}

bool Engine::Query(std::uintptr_t id, TaskSnapshot* snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return false;
  *snapshot = it->second->published;
  return true;
}

}  // namespace xldl
