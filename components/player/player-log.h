#pragma once

#include <string>

namespace runbox {

// The player's log: "runbox.log" in its data folder, one timed line per event, also echoed to
// stderr. Bounded as Lumo's log is (LogLimits): rotated to "runbox.log.1" at its cap. Any thread.
void OpenPlayerLog(const std::string& dataDir);
void PlayerLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace runbox
