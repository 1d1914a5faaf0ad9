#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumo {

// Runs short one-off jobs (an icon download, an APK inspection, a setup run) each on a thread
// of its own, and owns those threads: StopAndJoin waits for every job still running. A job
// reports its results through the Dispatcher, never by touching a window.
//
// The threads are made by the pool's own starter thread, never by the caller: making a thread
// takes the dynamic loader's lock, which another thread loading a library holds for as long
// as the library takes to map, tens of milliseconds on a busy machine, and the UI thread must
// not wait for that.
class WorkerPool {
 public:
  WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool();

  // Any thread. Starts `job` (called once, on its own thread; what it throws is logged under
  // `name`, a string literal). False, with a log line, once StopAndJoin has begun: the job
  // is dropped.
  template <typename Job>
  bool Run(const char* name, Job job) {
    // Held by a shared pointer, so that jobs owning move-only values fit a std::function.
    auto held = std::make_shared<Job>(std::move(job));
    return Start(name, [held] { (*held)(); });
  }

  // Shutdown: refuses new jobs, starts those already accepted, and returns once every job has
  // returned. A job that waits for the calling thread must not be running.
  void StopAndJoin();

 private:
  struct Queued {
    const char* name;
    std::function<void()> job;
  };

  bool Start(const char* name, std::function<void()> job);
  // The starter thread: makes a thread for each queued job until stopped with none left.
  void StartQueued();
  // Under mutex_: joins the threads whose jobs have returned.
  void JoinFinished();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  std::deque<Queued> queued_;
  std::list<std::thread> threads_;
  // Jobs that have returned; their threads end without taking the lock again.
  std::vector<std::thread::id> finished_;
  // Last, so that it starts once everything it uses exists.
  std::thread starter_;
};

}  // namespace lumo
