#include "app/log.h"

#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <exception>
#include <locale.h>
#include <vector>

#include "app/paths.h"
#include "app/scope-guard.h"
#include "app/strings.h"
#include "platform/system.h"

namespace lumo {

namespace {

// The writer stops at this line: it cannot be confused with a real one, which always
// starts with '['.
const std::string kStopMarker;

std::string FormatNarrow(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  char* buffer = new char[static_cast<size_t>(length) + 1];
  ScopeGuard release([buffer] { delete[] buffer; });
  std::vsnprintf(buffer, static_cast<size_t>(length) + 1, format, args);
  return std::string(buffer, static_cast<size_t>(length));
}

// Narrow text is UTF-8 throughout, whatever the process locale says: the wide formatter
// decodes narrow %s arguments with the thread's locale, so it formats under a UTF-8 one.
locale_t Utf8Locale() {
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return utf8;
}

std::wstring FormatWide(const wchar_t* format, va_list args) {
  locale_t previous = Utf8Locale() ? uselocale(Utf8Locale()) : static_cast<locale_t>(nullptr);
  ScopeGuard restore([previous] {
    if (previous) uselocale(previous);
  });
  // vswprintf has no measuring pass and fails alike on a short buffer and on bad input: grow
  // the buffer a bounded number of times.
  for (size_t capacity = 512; capacity <= (1u << 22); capacity *= 8) {
    std::vector<wchar_t> buffer(capacity);
    va_list attempt;
    va_copy(attempt, args);
    int length = std::vswprintf(buffer.data(), capacity, format, attempt);
    va_end(attempt);
    if (length >= 0) return std::wstring(buffer.data(), static_cast<size_t>(length));
  }
  return {};
}

std::string LinePrefix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char prefix[96];
  std::snprintf(prefix, sizeof(prefix), "[%04d-%02d-%02d %02d:%02d:%02d--%llu]-->",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<unsigned long long>(platform::CurrentThreadId()));
  return prefix;
}

}  // namespace

std::shared_ptr<Log> Log::instance() {
  static std::shared_ptr<Log> log = std::make_shared<Log>();
  return log;
}

Log::Log() = default;

Log::~Log() {
  // A log whose writer still runs at exit (start-up gave up early) is stopped here rather
  // than letting a joinable thread end the process.
  if (writer_.joinable()) stop();
}

void Log::setLimits(const LogLimits& limits) {
  std::lock_guard<std::mutex> lock(formatLock_);
  limits_ = limits;
  rateLimit_ = LineRateLimit(limits);
}

std::string Log::FileName(const std::string& name, std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char fileName[300];
  std::snprintf(fileName, sizeof(fileName), "%s-%04d-%02d-%02d.log", name.c_str(),
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return fileName;
}

void Log::init(const std::string& name, const std::string& folder) {
  // Writers wait here while the file changes: a second call moves the log, after the
  // running writer has put the lines queued so far into the old file.
  std::lock_guard<std::mutex> lock(formatLock_);
  if (writer_.joinable()) {
    stopping_ = true;
    queue_.push(kStopMarker);
    writer_.join();
  }
  stopping_ = false;
  target_ = kFile;
  path_ = PathJoin(folder, FileName(name, std::time(nullptr)));
  // The log cannot report its own failure; the terminal is the one place left to say it.
  if (!file_.Open(path_, limits_.fileCap))
    std::fprintf(stderr, "lumo: cannot open log file %s\n", path_.c_str());
  writer_ = std::thread([this] {
    // The log cannot write about its own end; the terminal can.
    try {
      run();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "lumo: log writer ended: %s\n", error.what());
    }
  });
}

void Log::write(const wchar_t* format, ...) {
  std::lock_guard<std::mutex> lock(formatLock_);
  if (!admit(format)) return;
  va_list args;
  va_start(args, format);
  std::wstring message = FormatWide(format, args);
  va_end(args);
  enqueue(WideToAnsi(message));
}

void Log::write(const char* format, ...) {
  std::lock_guard<std::mutex> lock(formatLock_);
  if (!admit(format)) return;
  va_list args;
  va_start(args, format);
  std::string message = FormatNarrow(format, args);
  va_end(args);
  enqueue(std::move(message));
}

// Called with formatLock_ held. The first line of a kind after some were left out says how
// many.
bool Log::admit(const void* format) {
  std::uint64_t dropped = 0;
  if (!rateLimit_.Admit(format, &dropped)) return false;
  if (dropped)
    enqueue("(" + std::to_string(dropped) + " more lines like the next one were left out)");
  return true;
}

// Called with formatLock_ held, so lines reach the file in the order their writes took it.
void Log::enqueue(std::string message) {
  std::string line = LinePrefix();
  line += message;
  line += "\r\n";
  if (stopping_) return;
  queue_.push(std::move(line));
}

void Log::stop() {
  {
    std::lock_guard<std::mutex> lock(formatLock_);
    stopping_ = true;
    queue_.push(kStopMarker);
  }
  if (writer_.joinable()) writer_.join();
}

// The writer thread: the only code that touches the file after init.
void Log::run() {
  for (;;) {
    std::string line = queue_.pop();
    if (line.empty() && stopping_) return;
    switch (target_.load()) {
      case kConsole:
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        break;
      case kDebugger:
        std::fwrite(line.data(), 1, line.size(), stderr);
        break;
      case kFile:
        file_.Append(line);
        break;
    }
  }
}

}  // namespace lumo
