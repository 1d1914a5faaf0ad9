#pragma once

#include <chrono>
#include <string>

namespace lumo::test {

// Starts the process's one log in a temporary folder (once per test program) so tests can
// check the lines the code under test writes.
void StartLogCapture();
std::string CapturedLog();
// Waits until a line containing `text` has been written; the writer is asynchronous.
bool WaitForLogLine(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace lumo::test
