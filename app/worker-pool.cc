#include "app/worker-pool.h"

#include <algorithm>

#include "app/log.h"
#include "app/thread-guard.h"

namespace lumo {

WorkerPool::~WorkerPool() {
  StopAndJoin();
}

bool WorkerPool::Start(const char* name, std::function<void()> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) {
    Log::instance()->write("%s not started: Lumo is shutting down.", name);
    return false;
  }
  JoinFinished();
  threads_.emplace_back([this, body = Guarded(name, std::move(job))]() mutable {
    body();
    std::lock_guard<std::mutex> done(mutex_);
    finished_.push_back(std::this_thread::get_id());
  });
  return true;
}

void WorkerPool::JoinFinished() {
  for (std::thread::id id : finished_) {
    auto it = std::find_if(threads_.begin(), threads_.end(),
                           [id](const std::thread& thread) { return thread.get_id() == id; });
    if (it == threads_.end()) continue;
    it->join();
    threads_.erase(it);
  }
  finished_.clear();
}

void WorkerPool::StopAndJoin() {
  std::list<std::thread> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    running.swap(threads_);
    finished_.clear();
  }
  // Outside the lock: a job that returns takes it to say so.
  for (std::thread& thread : running) thread.join();
}

}  // namespace lumo
