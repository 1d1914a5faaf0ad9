#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

namespace lumo {

// An unbounded queue that blocks the consumer while it is empty.
template <typename T>
class BlockingQueue {
 public:
  void push(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(value));
    ready_.notify_one();
  }

  T pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !items_.empty(); });
    T value = std::move(items_.front());
    items_.pop_front();
    return value;
  }

  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> items_;
};

}  // namespace lumo
