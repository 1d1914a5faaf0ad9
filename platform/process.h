#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lumo::platform {

// What a child process left behind after it ended.
struct ProcessOutput {
  bool started = false;    // false when the program could not be started at all
  int exitCode = -1;       // the exit status; -1 when it was killed by a signal
  bool truncated = false;  // more than the limit was written; the rest was read and dropped
  std::string text;        // standard output and standard error, interleaved as written
};

// Runs the program at `argv[0]` with exactly these arguments, never through a shell, so
// quotes, blanks or "$(...)" in an argument reach the program unchanged. Standard input is
// empty; standard output and standard error share one pipe that is read while the program
// runs, so output of any size never blocks it. At most `maxOutput` bytes are kept. Blocks the
// calling thread until the program has ended.
ProcessOutput RunProcess(const std::vector<std::string>& argv, std::size_t maxOutput);

}  // namespace lumo::platform
