#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lumo::toolkit {

// Scripted actions for UI tests. When the environment variable LUMO_TEST_HOOK names a FIFO,
// the program reads one command per line from it: "<id> <command> <arguments...>", and appends
// "<id> started" and then "<id> <reply>" to the file LUMO_TEST_HOOK + ".out" (a command that
// runs a modal window replies only when the window has closed). Commands run on the UI thread, one
// at a time, as if the user had acted. Built in:
//   click <class> <control>            activates a button, check box, option or ProgressEx
//   notify <class> <type> <control>    delivers a notification (e.g. "menu") to the window
//   get <class> <control>              "visible=0|1 enabled=0|1 checked=0|1 page=N text=..."
//   window <class>                     "open x y width height maximized=0|1" or "closed"
//   close <class>                      asks the window to close
//   lateness                           "worst_ms=W ticks=N": the worst lateness of a 10 ms
//                                      timer of input priority since the last "lateness"
using TestCommand = std::function<std::string(const std::vector<std::string>& args)>;

// Starts reading when LUMO_TEST_HOOK is set; false (and a log line) when it cannot be opened.
bool StartTestHook();
void StopTestHook();
// True while the hook reads commands: a program records what only its tests ask for.
bool TestHookRunning();
// Adds a command of the program's own (the main window adds a few).
void RegisterTestCommand(const std::string& name, TestCommand command);

}  // namespace lumo::toolkit
