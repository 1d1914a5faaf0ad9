#pragma once

#include <string>
#include <vector>

namespace lumo::platform {

// Starts the program argv[0] with `argv` (no shell, nothing quoted), in a session of its own,
// and returns at once; the child is reaped in the background. The process id, or -1.
int SpawnDetached(const std::vector<std::string>& argv);
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

// True on a 64-bit operating system, whatever this program's own word size.
bool Is64BitOperatingSystem();

}  // namespace lumo::platform
