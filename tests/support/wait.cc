#include "tests/support/wait.h"

#include <thread>

#include "platform/ui-loop.h"

namespace lumo::test {

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout,
             bool pumpUiLoop) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pumpUiLoop) platform::PumpUiLoop();
    if (predicate()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

}  // namespace lumo::test
