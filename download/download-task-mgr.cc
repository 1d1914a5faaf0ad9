#include "download/download-task-mgr.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>
#include <variant>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/thread-guard.h"
#include "download/thunder-wrapper.h"
#include "platform/file-system.h"

namespace lumo {

// One report of a polling round, copied out so that it can be sent after the lock is gone.
struct DownloadTaskMgr::Report {
  std::variant<DownloadProgress, FileReady, DownloadFailed> value;
};

namespace {

void SendReport(const DownloadProgress& progress) {
  Dispatcher::instance()->Send(MSG_DOWNLOAD_PROGRESS, progress);
}

void SendReport(const FileReady& done) {
  Dispatcher::instance()->Send(MSG_DOWNLOAD_DONE, done);
}

void SendReport(const DownloadFailed& failed) {
  Dispatcher::instance()->Send(MSG_DOWNLOAD_FAILED, failed);
}

}  // namespace

DownloadTask::DownloadTask(std::string taskKey, std::string address, std::string folder,
                           std::string name)
    : key(std::move(taskKey)),
      url(std::move(address)),
      saveFolder(std::move(folder)),
      fileName(std::move(name)) {}

void DownloadTask::createEngineTask(ThunderWrapper& engine) {
  handle = engine.CreateTask(*MakeTaskParam(url, saveFolder, fileName));
}

std::shared_ptr<DownloadTaskMgr> DownloadTaskMgr::Create(
    EngineLoader loader, std::chrono::steady_clock::duration progressInterval) {
  return std::shared_ptr<DownloadTaskMgr>(new DownloadTaskMgr(std::move(loader), progressInterval));
}

std::shared_ptr<DownloadTaskMgr> DownloadTaskMgr::Create(
    std::shared_ptr<ThunderWrapper> engine, std::chrono::steady_clock::duration progressInterval) {
  auto manager = Create([engine]() mutable { return std::move(engine); }, progressInterval);
  manager->available();
  return manager;
}

DownloadTaskMgr::DownloadTaskMgr(EngineLoader loader,
                                 std::chrono::steady_clock::duration progressInterval)
    : progressInterval_(progressInterval), loader_(std::move(loader)) {}

DownloadTaskMgr::~DownloadTaskMgr() {
  stopPoller();
  // Waits for an announcement in progress: none reaches the manager after this.
  if (engine_) engine_->SetChangeCallback(nullptr, nullptr);
}

void DownloadTaskMgr::stopPoller() {
  std::thread poller;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pollerQuit_ = true;
    poller = std::move(poller_);
  }
  wake_.notify_all();
  // Outside the lock, which the polling thread takes to see that it is to end.
  if (poller.joinable()) poller.join();
}

std::shared_ptr<ThunderWrapper> DownloadTaskMgr::engine() {
  std::call_once(loadOnce_, [this] {
    // The loader goes with its call, so that nothing but the manager holds the engine.
    EngineLoader loader = std::exchange(loader_, nullptr);
    std::shared_ptr<ThunderWrapper> engine = loader ? loader() : nullptr;
    // An engine that loaded but would not start is as good as none.
    if (engine && !engine->Init()) engine.reset();
    // Without the engine's announcements, ends are seen at the next progress round.
    if (engine) engine->SetChangeCallback(&OnEngineChange, this);
    std::lock_guard<std::mutex> guard(lock_);
    engine_ = std::move(engine);
  });
  std::lock_guard<std::mutex> guard(lock_);
  return engine_;
}

bool DownloadTaskMgr::available() {
  return engine() != nullptr;
}

void DownloadTaskMgr::prepare() {
  std::shared_ptr<ThunderWrapper> engine;
  {
    std::lock_guard<std::mutex> guard(lock_);
    engine = engine_;
  }
  if (engine) engine->Prepare();
}

void DownloadTaskMgr::end() {
  // Waits for a load in progress on another thread; with none begun, none ever begins.
  std::call_once(loadOnce_, [this] { loader_ = nullptr; });
  std::shared_ptr<ThunderWrapper> engine;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [key, task] : running_) engine_->StopTask(task->handle);
    running_.clear();
    waiting_.clear();
    tasks_.clear();
    pollerRunning_ = false;
    engine = std::move(engine_);
  }
  stopPoller();
  if (!engine) return;
  // Outside the lock: clearing the callback waits for an announcement, which takes the lock.
  engine->SetChangeCallback(nullptr, nullptr);
  engine.reset();
}

void DownloadTaskMgr::OnEngineChange(void* manager) {
  auto* self = static_cast<DownloadTaskMgr*>(manager);
  {
    std::lock_guard<std::mutex> guard(self->lock_);
    self->woken_ = true;
  }
  self->wake_.notify_all();
}

bool DownloadTaskMgr::addTask(const std::shared_ptr<DownloadTask>& task) {
  std::shared_ptr<ThunderWrapper> engine = this->engine();
  if (!engine || !task) return false;
  // The engine task exists before the key is checked: a duplicate leaves it unused.
  task->createEngineTask(*engine);
  std::lock_guard<std::mutex> guard(lock_);
  return tasks_.emplace(task->key, task).second;
}

bool DownloadTaskMgr::startTask(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!pollerRunning_ && engine_) {
    pollerRunning_ = true;
    // One polling thread for the manager's life; after stopAll it waits for this start.
    if (!poller_.joinable() && !pollerQuit_)
      poller_ = std::thread(Guarded("download poller", [this] { poll(); }));
    wake_.notify_all();
  }
  auto it = tasks_.find(key);
  if (it == tasks_.end() || !engine_) return false;
  // A retry meets the disk as it is now.
  it->second->spaceChecked = false;
  if (running_.size() < kSlots) {
    running_[key] = it->second;
    // A polling thread asleep for want of work has some now.
    woken_ = true;
    wake_.notify_all();
    return engine_->StartTask(it->second->handle);
  }
  waiting_.push_back(it->second);
  return false;
}

bool DownloadTaskMgr::stopTask(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = running_.find(key);
  if (it != running_.end()) {
    engine_->StopTask(it->second->handle);
    running_.erase(it);
    // The freed slot goes to the first waiting task at once, not at the next progress round.
    if (!waiting_.empty()) {
      woken_ = true;
      wake_.notify_all();
    }
  }
  return true;
}

bool DownloadTaskMgr::removeTask(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  return tasks_.erase(key) > 0;
}

bool DownloadTaskMgr::hasTask(const std::string& key) {
  std::lock_guard<std::mutex> guard(lock_);
  return tasks_.count(key) > 0;
}

void DownloadTaskMgr::stopAll() {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [key, task] : running_) engine_->StopTask(task->handle);
  pollerRunning_ = false;
  wake_.notify_all();
}

std::string DownloadTaskMgr::FormatSpeed(std::uint64_t bytesPerSecond) {
  auto speed = static_cast<float>(bytesPerSecond);
  char text[64];
  if (bytesPerSecond < 1048576) {
    std::snprintf(text, sizeof(text), "%.2f Kb/s", static_cast<double>(speed / 1024.0f));
  } else {
    std::snprintf(text, sizeof(text), "%.2f Mb/s", static_cast<double>(speed / 1048576.0f));
  }
  return text;
}

// The polling thread. A round that is not due for progress reports only ends, so that an
// early wake-up adds no progress report (each is also a catalogue write).
void DownloadTaskMgr::poll() {
  auto nextProgress = std::chrono::steady_clock::now();
  for (;;) {
    std::vector<Report> reports;
    {
      std::unique_lock<std::mutex> guard(lock_);
      if (!pollerRunning_) {
        // Stopped: no rounds until the next start.
        wake_.wait(guard, [this] { return pollerRunning_ || pollerQuit_; });
        nextProgress = std::chrono::steady_clock::now();
      }
      if (pollerQuit_) return;
      auto now = std::chrono::steady_clock::now();
      bool progressDue = now >= nextProgress;
      if (progressDue) nextProgress = now + progressInterval_;
      woken_ = false;
      pollRound(&reports, progressDue);
      fillFreeSlots();
    }
    // Sent only now: a handler on the UI thread may call the manager, which takes the lock.
    for (const Report& report : reports)
      std::visit([](const auto& value) { SendReport(value); }, report.value);
    sleepUntilWork(nextProgress);
  }
}

void DownloadTaskMgr::sleepUntilWork(std::chrono::steady_clock::time_point nextProgress) {
  std::unique_lock<std::mutex> guard(lock_);
  auto woken = [&] { return woken_ || !pollerRunning_ || pollerQuit_; };
  if (running_.empty() && waiting_.empty()) {
    wake_.wait(guard, woken);
  } else {
    wake_.wait_until(guard, nextProgress, woken);
  }
}

void DownloadTaskMgr::pollRound(std::vector<Report>* reports, bool progressDue) {
  for (auto it = running_.begin(); it != running_.end();) {
    const std::shared_ptr<DownloadTask>& task = it->second;
    auto info = std::make_unique<DownTaskInfo>();
    std::memset(info.get(), 0, sizeof(DownTaskInfo));
    info->stat = kXlPaused;
    engine_->QueryTaskInfo(task->handle, info.get());
    if (info->stat == kXlComplete) {
      tasks_.erase(it->first);
      reports->push_back({FileReady{it->first, PathJoin(task->saveFolder, TaskFileName(*info))}});
      it = running_.erase(it);
      continue;
    }
    bool full = info->stat == kXlDownloading && !FitsOnDisk(*task, *info);
    if (full) engine_->StopTask(task->handle);
    if (info->stat == kXlError || full) {
      int code = full ? kFailNoSpace : info->fail_code;
      Log::instance()->write(L"Download %s failed. [err=%d]", it->first.c_str(), code);
      reports->push_back({DownloadFailed{it->first, code}});
      it = running_.erase(it);
      continue;
    }
    if (info->stat == kXlDownloading && progressDue) {
      std::uint64_t speed =
          static_cast<std::uint32_t>(info->nSpeed) +
          static_cast<std::uint64_t>(static_cast<std::uint32_t>(info->nSpeedP2S)) +
          static_cast<std::uint32_t>(info->nSpeedP2P);
      reports->push_back({DownloadProgress{it->first, info->fPercent, FormatSpeed(speed)}});
    }
    ++it;
  }
}

bool DownloadTaskMgr::FitsOnDisk(DownloadTask& task, const DownTaskInfo& info) {
  // Once, as soon as the server has said how large the file is: a download that cannot fit
  // fails now instead of near its end.
  if (task.spaceChecked || info.nTotalSize <= 0) return true;
  task.spaceChecked = true;
  std::uint64_t free = 0;
  std::int64_t rest = info.nTotalSize - std::max<std::int64_t>(info.nTotalDownload, 0);
  if (rest <= 0 || !platform::FreeSpaceOf(task.saveFolder, &free) ||
      free >= static_cast<std::uint64_t>(rest))
    return true;
  Log::instance()->write("%s does not fit on the disk: %lld bytes to come, %llu free.",
                         task.key.c_str(), static_cast<long long>(rest),
                         static_cast<unsigned long long>(free));
  return false;
}

void DownloadTaskMgr::fillFreeSlots() {
  std::size_t used = running_.size();
  std::size_t free = used < kSlots ? kSlots - used : 0;
  while (free > 0 && !waiting_.empty()) {
    std::shared_ptr<DownloadTask> task = waiting_.front();
    waiting_.pop_front();
    running_[task->key] = task;
    engine_->StartTask(task->handle);
    --free;
  }
}

}  // namespace lumo
