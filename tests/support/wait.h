#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace lumo::test {

// Waits until `predicate` holds or `timeout` passes, running the UI loop's pending work in
// between when `pumpUiLoop` is set. Timeouts only bound a failing test; no test relies on
// how fast anything is.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(20), bool pumpUiLoop = false);

// How many times `what` occurs in `text`.
int CountOf(const std::string& text, const std::string& what);

}  // namespace lumo::test
