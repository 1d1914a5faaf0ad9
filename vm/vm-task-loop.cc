#include "vm/vm-task-loop.h"

#include <thread>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/thread-guard.h"
#include "platform/file-system.h"
#include "vm/player-runtime.h"
#include "vm/vm-bridge-client.h"

namespace lumo {

namespace {

constexpr std::uint32_t kBytesPerExpectedSecond = 20971520;

}  // namespace

ApkInstallTask::ApkInstallTask(std::string apkPath, std::string packageName)
    : apkPath_(std::move(apkPath)), packageName_(std::move(packageName)) {}

int ApkInstallTask::ExpectedSeconds(const std::string& apkPath) {
  std::uint64_t size = 0;
  if (!platform::RegularFileSize(apkPath, &size)) size = 0;
  return static_cast<int>(static_cast<std::uint32_t>(size) / kBytesPerExpectedSecond + 1);
}

void ApkInstallTask::Run() {
  Dispatcher::instance()->Send(MSG_INSTALL_START,
                               {.packageName = packageName_, .seconds = ExpectedSeconds(apkPath_)});
  Log::instance()->write("Start install %s", apkPath_.c_str());
  VmBridgeClient& bridge = VmBridgeClient::instance();
  if (bridge.connected()) bridge.SendText(kVmInstall, apkPath_);
}

ApkUninstallTask::ApkUninstallTask(std::string packageName)
    : packageName_(std::move(packageName)) {}

void ApkUninstallTask::Run() {
  Dispatcher::instance()->Send(MSG_UNINSTALL_START, packageName_);
  VmBridgeClient& bridge = VmBridgeClient::instance();
  if (bridge.connected()) bridge.SendText(kVmUninstall, packageName_);
}

std::shared_ptr<VMTaskLoop> VMTaskLoop::Instance() {
  static std::shared_ptr<VMTaskLoop> loop(new VMTaskLoop());
  return loop;
}

void VMTaskLoop::AddTask(std::shared_ptr<VMTask> task) {
  if (!task) return;
  PushPending(std::move(task));
  if (!IsPlayerRunning()) LaunchPlayer();
}

void VMTaskLoop::Start() {
  bool expected = false;
  if (!running_.compare_exchange_strong(expected, true)) return;
  std::uint64_t generation = ++generation_;
  // Wake a loop thread of an older generation that still waits, so that it ends without
  // taking a task beside the new one.
  { std::lock_guard<std::mutex> lock(pendingMutex_); }
  pendingReady_.notify_all();
  WakeWaiter();
  std::thread([self = shared_from_this(), generation] { self->Run(generation); }).detach();
}

void VMTaskLoop::Stop() {
  // Cleared before the release: a loop thread woken by it must see that it is to end, or it
  // would take the next task and start the player that was just lost.
  running_ = false;
  WakeWaiter();
}

void VMTaskLoop::NotifyTaskDone(const std::shared_ptr<VMTask>& task) {
  std::lock_guard<std::mutex> lock(currentMutex_);
  if (!task || task != awaited_) return;
  awaited_.reset();
  awaitedDone_.notify_all();
}

std::shared_ptr<VMTask> VMTaskLoop::TakeCurrentTask() {
  std::lock_guard<std::mutex> lock(currentMutex_);
  if (currentTasks_.empty()) return nullptr;
  std::shared_ptr<VMTask> task = std::move(currentTasks_.front());
  currentTasks_.pop_front();
  return task;
}

std::size_t VMTaskLoop::PendingCount() {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  return pendingTasks_.size();
}

void VMTaskLoop::Run(std::uint64_t generation) {
  while (running_ && generation_ == generation) {
    if (!RunOne(generation)) break;
  }
  // Only the newest loop thread may say that no loop runs.
  if (generation_ != generation) return;
  running_ = false;
  // The VM may have started while this thread was deciding to end: then its Start found the
  // loop still running, and the queued tasks need a new thread.
  if (VmBridgeClient::instance().vmStarted() && PendingCount() > 0) Start();
}

// False when the loop thread should end.
bool VMTaskLoop::RunOne(std::uint64_t generation) {
  std::shared_ptr<VMTask> task = TakePending(generation);
  if (!task) return false;
  if (!VmBridgeClient::instance().vmStarted()) {
    LaunchPlayer();
    PushPending(std::move(task));
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(currentMutex_);
    currentTasks_.push_back(task);
    awaited_ = task;
  }
  task->Run();
  WaitUntilDone(task, generation);
  return true;
}

std::shared_ptr<VMTask> VMTaskLoop::TakePending(std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(pendingMutex_);
  pendingReady_.wait(lock, [&] { return !pendingTasks_.empty() || generation_ != generation; });
  if (generation_ != generation) return nullptr;
  std::shared_ptr<VMTask> task = std::move(pendingTasks_.front());
  pendingTasks_.pop_front();
  return task;
}

void VMTaskLoop::PushPending(std::shared_ptr<VMTask> task) {
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingTasks_.push_back(std::move(task));
  }
  // Every waiter checks: one of them may be an older loop thread that must not take it.
  pendingReady_.notify_all();
}

void VMTaskLoop::WakeWaiter() {
  { std::lock_guard<std::mutex> lock(currentMutex_); }
  awaitedDone_.notify_all();
}

// Ends when the task's result has been reported, the connection is lost or a newer loop
// thread has started.
void VMTaskLoop::WaitUntilDone(const std::shared_ptr<VMTask>& task, std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(currentMutex_);
  awaitedDone_.wait(lock,
                    [&] { return awaited_ != task || !running_ || generation_ != generation; });
  if (awaited_ == task) awaited_.reset();
}

}  // namespace lumo
