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

}  // namespace lumo::test
