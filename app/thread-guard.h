#pragma once

#include <utility>

namespace lumo {

// Logs the exception being handled as having ended the thread `thread`.
void LogEscapedException(const char* thread) noexcept;

// Wraps a thread's top function: what escapes it is logged and the thread ends, instead of
// std::terminate taking the whole process with it.
template <typename Fn>
auto Guarded(const char* thread, Fn body) {
  return [thread, body = std::move(body)]() mutable noexcept {
    try {
      body();
    } catch (...) {
      LogEscapedException(thread);
    }
  };
}

}  // namespace lumo
