#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/blocking-queue.h"
#include "app/log-limits.h"

namespace lumo {

// The one diagnostic log. Any thread formats a line; one writer thread appends it to
// "<name>-YYYY-MM-DD.log" and flushes it, so callers never wait for the disk. Lines of one
// format pass at a bounded rate and the file is capped (LogLimits), so a flood from outside
// cannot fill the disk.
class Log {
 public:
  enum LogTarget : std::int32_t { kConsole = 0, kDebugger = 1, kFile = 2 };

  static std::shared_ptr<Log> instance();

  Log();
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // Before init.
  void setLimits(const LogLimits& limits);
  // Opens the dated file in `folder` for appending and starts the writer. Lines written
  // before this call are kept and written first, with their own times. A later call moves
  // the log to its file; lines written before it stay in the old one.
  void init(const std::string& name, const std::string& folder);
  // printf-style. In the wide overload %s takes a narrow string and %ls a wide one, as the
  // platform's wide printf does; the message is converted to the narrow encoding.
  void write(const wchar_t* format, ...);
  void write(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Ends the writer after it has written the lines queued before this call; lines written
  // later are accepted and dropped.
  void stop();

  // The file name for `name` on the local date of `when`.
  static std::string FileName(const std::string& name, std::time_t when);
  const std::string& path() const { return path_; }

 private:
  // False when the rate limit leaves the line of `format` out.
  bool admit(const void* format);
  void enqueue(std::string message);
  void run();

  std::atomic<LogTarget> target_{kDebugger};
  std::atomic<bool> stopping_{false};
  LogLimits limits_;
  LineRateLimit rateLimit_{limits_};
  CappedLogFile file_;
  std::string path_;
  BlockingQueue<std::string> queue_;
  std::mutex formatLock_;
  std::thread writer_;
};

}  // namespace lumo
