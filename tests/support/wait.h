#pragma once

#include <chrono>
#include <functional>

namespace lumo::test {

// Waits until `predicate` holds or `timeout` passes, running the UI loop's pending work in
// between when `pumpUiLoop` is set. Timeouts only bound a failing test; no test relies on
// how fast anything is.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(20), bool pumpUiLoop = false);

}  // namespace lumo::test
