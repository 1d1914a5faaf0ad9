#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace lumo {

// One request to the emulator. Owned through shared pointers made from the concrete type.
class VMTask {
 public:
  // Runs on the loop thread: hands the request to the emulator and returns; the result
  // arrives later through the bridge.
  virtual void Run() = 0;

 protected:
  ~VMTask() = default;
};

class ApkInstallTask final : public VMTask {
 public:
  ApkInstallTask(std::string apkPath, std::string packageName);
  void Run() override;
  std::string GetPackageName() const { return packageName_; }
  const std::string& apkPath() const { return apkPath_; }
  // One second per whole 20 MiB of the file's size (read as 32 bits), plus one.
  static int ExpectedSeconds(const std::string& apkPath);

 private:
  std::string apkPath_;
  std::string packageName_;
};

class ApkUninstallTask final : public VMTask {
 public:
  explicit ApkUninstallTask(std::string packageName);
  void Run() override;
  std::string GetPackageName() const { return packageName_; }

 private:
  std::string packageName_;
};

// Runs install and uninstall tasks one at a time, in the order they were added, on one worker
// thread that exists while the VM runs. Each task holds the loop until its result or the loss
// of the connection releases it.
class VMTaskLoop : public std::enable_shared_from_this<VMTaskLoop> {
 public:
  static std::shared_ptr<VMTaskLoop> Instance();

  // UI thread. Queues the task and starts the player when it is not running.
  void AddTask(std::shared_ptr<VMTask> task);
  // Bridge thread, when the VM has started. Starts the loop thread unless one runs.
  void Start();
  // Bridge thread, when the connection is lost: releases the wait; the loop ends after the
  // task in flight.
  void Stop();
  // The task in flight, taken out; empty when there is none.
  std::shared_ptr<VMTask> TakeCurrentTask();
  // Bridge thread, once the result of `task` (from TakeCurrentTask) has been reported: ends
  // the loop's wait for it. An empty task, or one not waited for, changes nothing.
  void NotifyTaskDone(const std::shared_ptr<VMTask>& task);

  std::size_t PendingCount();
  bool IsRunning() const { return running_; }

 private:
  VMTaskLoop() = default;
  void Run(std::uint64_t generation);
  bool RunOne(std::uint64_t generation);
  // Waits for a task; empty when a newer loop thread has been started meanwhile.
  std::shared_ptr<VMTask> TakePending(std::uint64_t generation);
  void PushPending(std::shared_ptr<VMTask> task);
  // Wakes the loop thread's wait so that it checks whether to go on.
  void WakeWaiter();
  void WaitUntilDone(const std::shared_ptr<VMTask>& task, std::uint64_t generation);

  // pendingTasks
  std::mutex pendingMutex_;
  std::condition_variable pendingReady_;
  std::deque<std::shared_ptr<VMTask>> pendingTasks_;
  // currentTasks
  std::mutex currentMutex_;
  std::list<std::shared_ptr<VMTask>> currentTasks_;
  // The task whose result the loop thread waits for; cleared when it is reported.
  std::shared_ptr<VMTask> awaited_;
  std::condition_variable awaitedDone_;
  std::atomic<bool> running_{false};
  // Each Start makes a new generation; a loop thread of an older one takes no more tasks.
  std::atomic<std::uint64_t> generation_{0};
};

}  // namespace lumo
