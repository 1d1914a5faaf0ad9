#include "app/worker-pool.h"

#include <algorithm>
#include <system_error>

#include "app/log.h"
#include "app/thread-guard.h"

namespace lumo {

WorkerPool::WorkerPool() : starter_([this] { StartQueued(); }) {}

WorkerPool::~WorkerPool() {
  StopAndJoin();
}

bool WorkerPool::Start(const char* name, std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) {
      Log::instance()->write("%s not started: Lumo is shutting down.", name);
      return false;
    }
    queued_.push_back({name, std::move(job)});
  }
  changed_.notify_one();
  return true;
}

void WorkerPool::StartQueued() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopped_ || !queued_.empty(); });
    if (queued_.empty()) return;
    Queued next = std::move(queued_.front());
    queued_.pop_front();
    JoinFinished();
    // Outside the lock, which Start takes: this is the wait the caller is spared.
    lock.unlock();
    std::thread thread;
    try {
      thread = std::thread([this, body = Guarded(next.name, std::move(next.job))]() mutable {
        body();
        std::lock_guard<std::mutex> done(mutex_);
        finished_.push_back(std::this_thread::get_id());
      });
    } catch (const std::system_error& error) {
      Log::instance()->write("%s not started: no thread for it: %s", next.name, error.what());
    }
    lock.lock();
    if (thread.joinable()) threads_.push_back(std::move(thread));
  }
}

void WorkerPool::JoinFinished() {
  // A job can end before its thread is listed; its id waits for the next pass.
  auto listed = [this](std::thread::id id) {
    auto it = std::find_if(threads_.begin(), threads_.end(),
                           [id](const std::thread& thread) { return thread.get_id() == id; });
    if (it == threads_.end()) return false;
    it->join();
    threads_.erase(it);
    return true;
  };
  finished_.erase(std::remove_if(finished_.begin(), finished_.end(), listed), finished_.end());
}

void WorkerPool::StopAndJoin() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_one();
  if (starter_.joinable()) starter_.join();
  std::list<std::thread> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running.swap(threads_);
    finished_.clear();
  }
  // Outside the lock: a job that returns takes it to say so.
  for (std::thread& thread : running) thread.join();
}

}  // namespace lumo
