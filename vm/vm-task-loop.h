#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lumo {

class VmBridgeClient;

// One request to the emulator. Owned through shared pointers made from the concrete type.
class VMTask {
 public:
  // Runs on the loop thread: hands the request to the emulator through `bridge` and returns;
  // the result arrives later through the bridge.
  virtual void Run(VmBridgeClient& bridge) = 0;

 protected:
  ~VMTask() = default;
};

class ApkInstallTask final : public VMTask {
 public:
  ApkInstallTask(std::string apkPath, std::string packageName);
  void Run(VmBridgeClient& bridge) override;
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
  void Run(VmBridgeClient& bridge) override;
  std::string GetPackageName() const { return packageName_; }

 private:
  std::string packageName_;
};

// Runs install and uninstall tasks one at a time, in the order they were added, on the loop's
// own thread, while the VM runs. Each task holds the loop until its result or the loss of the
// connection releases it. The loop owns its thread: StopAndJoin ends it.
class VMTaskLoop {
 public:
  // A loop whose tasks go to the emulator through `bridge`, which outlives the loop's thread.
  explicit VMTaskLoop(VmBridgeClient& bridge);
  VMTaskLoop(const VMTaskLoop&) = delete;
  VMTaskLoop& operator=(const VMTaskLoop&) = delete;
  // Ends the thread as StopAndJoin does.
  ~VMTaskLoop();

  // UI thread. Queues the task and starts the player when it is not running.
  void AddTask(std::shared_ptr<VMTask> task);
  // Bridge thread, when the VM has started: tasks are taken from here on.
  void Start();
  // Bridge thread, when the connection is lost: releases the wait; no task is taken after the
  // one in flight until the next Start.
  void Stop();
  // The task in flight, taken out; empty when there is none.
  std::shared_ptr<VMTask> TakeCurrentTask();
  // Bridge thread, once the result of `task` (from TakeCurrentTask) has been reported: ends
  // the loop's wait for it. An empty task, or one not waited for, changes nothing.
  void NotifyTaskDone(const std::shared_ptr<VMTask>& task);
  // Shutdown: releases the task in flight and ends the thread; queued tasks never run. A task
  // sends to the UI, so the UI thread calls it once the windows are gone.
  void StopAndJoin();

  std::size_t PendingCount();
  bool IsRunning() const { return running_; }

 private:
  // The loop thread.
  void Run();
  // Waits until the VM runs and a task is queued; empty when the loop is to end. `session`
  // gets the Start the task is taken under.
  std::shared_ptr<VMTask> TakePending(std::uint64_t* session);
  // Puts back a task taken after the VM went away.
  void ReturnPending(std::shared_ptr<VMTask> task, std::uint64_t session);
  // Wakes the loop thread's wait so that it checks whether to go on.
  void WakeWaiter();
  void WaitUntilDone(const std::shared_ptr<VMTask>& task, std::uint64_t session);

  VmBridgeClient& bridge_;
  // pendingTasks; running_, session_ and quit_ change under it
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
  // Counts the Starts: a wait begun under an earlier one ends, as its VM is gone.
  std::atomic<std::uint64_t> session_{0};
  std::atomic<bool> quit_{false};
  // Last: it starts once everything it uses is made.
  std::thread thread_;
};

}  // namespace lumo
