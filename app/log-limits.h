#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "app/rate-limit.h"

namespace lumo {

// What keeps a log from filling the disk when something outside floods it. Lumo's log and
// the player's share these rules.
struct LogLimits {
  double burst = 100;     // lines of one kind written at once
  double perSecond = 10;  // and on average after that
  // A file that would grow past this is renamed to "<file>.1" (replacing the one before) and
  // started again, so one day's log takes at most twice this.
  std::uint64_t fileCap = 8u << 20;
};

// Lines of one kind (one format string) pass at a bounded rate. Not thread-safe.
class LineRateLimit {
 public:
  explicit LineRateLimit(const LogLimits& limits) : limits_(limits) {}
  // True when a line of `kind` may be written now; `dropped` then gets how many lines of that
  // kind were left out since the last one written.
  bool Admit(const void* kind, std::uint64_t* dropped);

 private:
  struct Kind {
    RateLimit rate;
    std::uint64_t dropped = 0;
  };
  LogLimits limits_;
  std::unordered_map<const void*, Kind> kinds_;
};

// An append-only log file that never grows past its cap (see LogLimits::fileCap). Used by one
// writer at a time.
class CappedLogFile {
 public:
  CappedLogFile() = default;
  ~CappedLogFile();
  CappedLogFile(const CappedLogFile&) = delete;
  CappedLogFile& operator=(const CappedLogFile&) = delete;

  bool Open(const std::string& path, std::uint64_t cap);
  bool IsOpen() const { return file_ != nullptr; }
  // Writes and flushes `bytes`, rotating the file first when they would pass the cap.
  void Append(const std::string& bytes);

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  std::uint64_t cap_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace lumo
