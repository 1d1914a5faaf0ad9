#include "components/player/player-log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <unistd.h>

#include "app/log-limits.h"

namespace runbox {

namespace {

std::mutex logMutex;
// Lumo's rules: a peer that makes the player repeat itself cannot fill the disk.
lumo::LineRateLimit rateLimit{lumo::LogLimits()};
lumo::CappedLogFile logFile;

}  // namespace

void OpenPlayerLog(const std::string& dataDir) {
  std::lock_guard<std::mutex> lock(logMutex);
  if (!logFile.IsOpen()) logFile.Open(dataDir + "/runbox.log", lumo::LogLimits().fileCap);
}

void PlayerLog(const char* format, ...) {
  char message[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
  std::lock_guard<std::mutex> lock(logMutex);
  std::uint64_t dropped = 0;
  if (!rateLimit.Admit(format, &dropped)) return;
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "[%s--%d] ", stamp, static_cast<int>(getpid()));
  std::string line;
  if (dropped)
    line += prefix + std::to_string(dropped) + " more lines like the next one were left out\n";
  line += std::string(prefix) + message + "\n";
  std::fprintf(stderr, "Runbox[%d]: %s\n", static_cast<int>(getpid()), message);
  logFile.Append(line);
}

}  // namespace runbox
