#include "components/player/player-log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace runbox {

namespace {

std::mutex logMutex;
std::FILE* logFile = nullptr;

}  // namespace

void OpenPlayerLog(const std::string& dataDir) {
  std::lock_guard<std::mutex> lock(logMutex);
  if (!logFile) logFile = std::fopen((dataDir + "/runbox.log").c_str(), "a");
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
  std::fprintf(stderr, "Runbox[%d]: %s\n", static_cast<int>(getpid()), message);
  if (logFile) {
    std::fprintf(logFile, "[%s--%d] %s\n", stamp, static_cast<int>(getpid()), message);
    std::fflush(logFile);
  }
}

}  // namespace runbox
