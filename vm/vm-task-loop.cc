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

void ApkInstallTask::Run(VmBridgeClient& bridge) {
  Dispatcher::instance()->Send(MSG_INSTALL_START,
                               {.packageName = packageName_, .seconds = ExpectedSeconds(apkPath_)});
  Log::instance()->write("Start install %s", apkPath_.c_str());
  if (bridge.connected()) bridge.SendText(kVmInstall, apkPath_);
}

ApkUninstallTask::ApkUninstallTask(std::string packageName)
    : packageName_(std::move(packageName)) {}

void ApkUninstallTask::Run(VmBridgeClient& bridge) {
  Dispatcher::instance()->Send(MSG_UNINSTALL_START, packageName_);
  if (bridge.connected()) bridge.SendText(kVmUninstall, packageName_);
}

VMTaskLoop::VMTaskLoop(VmBridgeClient& bridge)
    : bridge_(bridge), thread_(Guarded("vm tasks", [this] { Run(); })) {}

VMTaskLoop::~VMTaskLoop() {
  StopAndJoin();
}

void VMTaskLoop::AddTask(std::shared_ptr<VMTask> task) {
  if (!task) return;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingTasks_.push_back(std::move(task));
  }
  pendingReady_.notify_all();
  if (!IsPlayerRunning()) LaunchPlayer();
}

void VMTaskLoop::Start() {
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (running_) return;
    running_ = true;
    ++session_;
  }
  pendingReady_.notify_all();
  WakeWaiter();
}

void VMTaskLoop::Stop() {
  // Cleared before the release: the loop thread woken by it must see that it is to take no
  // more tasks, or it would start the player that was just lost.
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    running_ = false;
  }
  WakeWaiter();
}

void VMTaskLoop::StopAndJoin() {
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    quit_ = true;
  }
  pendingReady_.notify_all();
  WakeWaiter();
  if (thread_.joinable()) thread_.join();
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

void VMTaskLoop::Run() {
  std::uint64_t session = 0;
  while (std::shared_ptr<VMTask> task = TakePending(&session)) {
    if (!bridge_.vmStarted()) {
      ReturnPending(std::move(task), session);
      LaunchPlayer();
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(currentMutex_);
      currentTasks_.push_back(task);
      awaited_ = task;
    }
    task->Run(bridge_);
    WaitUntilDone(task, session);
  }
}

std::shared_ptr<VMTask> VMTaskLoop::TakePending(std::uint64_t* session) {
  std::unique_lock<std::mutex> lock(pendingMutex_);
  pendingReady_.wait(lock, [this] { return quit_ || (running_ && !pendingTasks_.empty()); });
  if (quit_) return nullptr;
  *session = session_;
  std::shared_ptr<VMTask> task = std::move(pendingTasks_.front());
  pendingTasks_.pop_front();
  return task;
}

void VMTaskLoop::ReturnPending(std::shared_ptr<VMTask> task, std::uint64_t session) {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  pendingTasks_.push_front(std::move(task));
  // The VM went away between its start and this task: the task waits for the next start,
  // unless that has come meanwhile.
  if (session_ == session) running_ = false;
}

void VMTaskLoop::WakeWaiter() {
  { std::lock_guard<std::mutex> lock(currentMutex_); }
  awaitedDone_.notify_all();
}

// Ends when the task's result has been reported, the connection is lost, the VM has started
// again or the loop is to end.
void VMTaskLoop::WaitUntilDone(const std::shared_ptr<VMTask>& task, std::uint64_t session) {
  std::unique_lock<std::mutex> lock(currentMutex_);
  awaitedDone_.wait(lock,
                    [&] { return awaited_ != task || !running_ || session_ != session || quit_; });
  if (awaited_ == task) awaited_.reset();
}

}  // namespace lumo
