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

// How much of the processor a started program may take from the others.
enum class SpawnPriority {
  kNormal,
  kBackground,  // work nobody waits for: under load it yields to the window and its pages
};

// Starts the program argv[0] with `argv` (no shell, nothing quoted), in a session of its own,
// and returns at once. The UI loop reaps the child when it ends; until the loop next runs, an
// ended child is a zombie (which FindProcessesByImageName does not list). The process id, or
// -1.
int SpawnDetached(const std::vector<std::string>& argv,
                  SpawnPriority priority = SpawnPriority::kNormal);
// Starts the program and waits for it without a time limit. False when it could not start;
// `exitCode` gets its exit status (128 + signal when a signal ended it).
bool SpawnAndWait(const std::vector<std::string>& argv, int* exitCode);

// This user's processes whose executable's base name is exactly `imageName` and that run in
// this session's runtime folder (the same XDG_RUNTIME_DIR): a player of another session
// serves another bridge. Processes that have ended (zombies) are not listed.
std::vector<int> FindProcessesByImageName(const std::string& imageName);
// Ends the process at once, as a kill does. False when it could not be signalled.
bool TerminateProcess(int pid);
// Waits until the process has ended; false when it still runs after `timeoutMs`.
bool WaitForProcessEnd(int pid, int timeoutMs);

// Lets the owner run the file: a program that arrived by download has no execute permission.
bool MarkExecutable(const std::string& path);

}  // namespace lumo::platform
