#pragma once

#include <string>
#include <vector>

namespace runbox {

// Runs argv[0] with `argv` (no shell), collects what it writes to stdout and stderr and waits
// for it. False when it could not be started; `exitCode` is 128 + signal after a signal.
bool RunAndCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode);

}  // namespace runbox
