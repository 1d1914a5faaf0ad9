#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "components/xldl/xldl.h"

namespace lumo {

class ThunderWrapper;

// One large download, shared between its caller and the manager. Text is UTF-8.
class DownloadTask {
 public:
  DownloadTask(std::string taskKey, std::string address, std::string folder, std::string name);

  // Fills the engine's task record from url, saveFolder and fileName (resume enabled) and
  // keeps the handle the engine returns.
  void createEngineTask(ThunderWrapper& engine);

  const std::string key;
  const std::string url;
  const std::string saveFolder;
  const std::string fileName;
  XlHandle handle = nullptr;
  // Set once the file's announced size has been held against the folder's free space.
  bool spaceChecked = false;
};

// Runs the large downloads: at most kSlots at once, the rest wait first in first out. A
// polling thread reports progress (MSG_DOWNLOAD_PROGRESS) of the running ones once a second,
// and completion (MSG_DOWNLOAD_DONE, full path of the file) and failure (MSG_DOWNLOAD_FAILED,
// the engine's code) as soon as the engine announces them, to the windows registered with the
// Dispatcher, each under the task's key. With nothing running the thread sleeps until a task
// starts. Callers use it from the UI thread. The manager owns the polling thread: end, or the
// destructor, joins it.
class DownloadTaskMgr {
 public:
  static constexpr std::size_t kSlots = 5;
  // The failure code of a download whose file does not fit on the disk: the engine's own for
  // a full disk, and the manager's when the server's announced size exceeds the free space.
  static constexpr std::int32_t kFailNoSpace = 9;
  // The engine's codes of a connection that timed out, of a server without the file, and of
  // a download cut for being too slow.
  static constexpr std::int32_t kFailTimedOut = 2;
  static constexpr std::int32_t kFailNotFound = 3;
  static constexpr std::int32_t kFailTooSlow = 5;
  static constexpr std::chrono::seconds kProgressInterval{1};

  using EngineLoader = std::function<std::shared_ptr<ThunderWrapper>()>;

  // A manager whose engine `loader` loads and starts on first use (it takes a while: the
  // first use is best off the UI thread). Without the engine the manager refuses every task.
  static std::shared_ptr<DownloadTaskMgr> Create(
      EngineLoader loader,
      std::chrono::steady_clock::duration progressInterval = kProgressInterval);
  // A manager over a given engine (null: none), started here.
  static std::shared_ptr<DownloadTaskMgr> Create(
      std::shared_ptr<ThunderWrapper> engine,
      std::chrono::steady_clock::duration progressInterval = kProgressInterval);
  // Ends the polling thread as end does.
  ~DownloadTaskMgr();

  // Any thread. Loads and starts the engine on the first call; false when there is none.
  bool available();
  // Any thread: a download is likely soon. Tells an engine already loaded; loads none.
  void prepare();
  bool addTask(const std::shared_ptr<DownloadTask>& task);
  bool startTask(const std::string& key);
  bool stopTask(const std::string& key);
  bool removeTask(const std::string& key);
  // Whether a task is registered under the key (running, waiting, paused or failed).
  bool hasTask(const std::string& key);
  // Stops every running task and the polling rounds until the next start; safe when the UI
  // loop no longer runs.
  void stopAll();
  // Shutdown, after stopAll: forgets every task, ends the polling thread and shuts the engine
  // down, when it was ever loaded, before returning. It never loads the engine; later calls
  // find none. A report in progress waits for the receiving window's thread, so the UI
  // thread calls it once the windows that take the reports are gone.
  void end();

  // "%.2f Kb/s" below 1 MiB per second, "%.2f Mb/s" from there on.
  static std::string FormatSpeed(std::uint64_t bytesPerSecond);

 private:
  struct Report;

  DownloadTaskMgr(EngineLoader loader, std::chrono::steady_clock::duration progressInterval);
  std::shared_ptr<ThunderWrapper> engine();
  // The polling thread.
  void poll();
  void stopPoller();
  void pollRound(std::vector<Report>* reports, bool progressDue);
  void fillFreeSlots();
  // Polling thread, under the lock: false when the rest of the file cannot fit.
  static bool FitsOnDisk(DownloadTask& task, const DownTaskInfo& info);
  // Sleeps until the next progress round, an engine announcement, a start, a freed slot,
  // stopAll or end; with nothing running or waiting, without a timeout.
  void sleepUntilWork(std::chrono::steady_clock::time_point nextProgress);
  // Called on the engine's own thread when a task's state changed.
  static void OnEngineChange(void* manager);

  std::mutex lock_;
  std::condition_variable wake_;
  bool woken_ = false;
  const std::chrono::steady_clock::duration progressInterval_;
  std::map<std::string, std::shared_ptr<DownloadTask>> tasks_;
  std::map<std::string, std::shared_ptr<DownloadTask>> running_;
  std::deque<std::shared_ptr<DownloadTask>> waiting_;
  // Whether the polling thread runs rounds; cleared by stopAll, set again by a start.
  bool pollerRunning_ = false;
  bool pollerQuit_ = false;
  std::thread poller_;
  // Set once, by the first engine() or by end(); read under lock_ after that.
  std::once_flag loadOnce_;
  EngineLoader loader_;
  std::shared_ptr<ThunderWrapper> engine_;
};

}  // namespace lumo
