#include "components/xldl/callbacks.h"

#include <cstdarg>
#include <cstdio>

namespace xldl {

void Callbacks::SetChange(void (*callback)(void*), void* context) {
  std::lock_guard<std::mutex> lock(mutex_);
  change_ = callback;
  changeContext_ = context;
}

void Callbacks::SetLog(void (*callback)(void*, const char*), void* context) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_ = callback;
  logContext_ = context;
}

void Callbacks::Say(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  kept_.emplace_back(line);
}

void Callbacks::Announce() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (change_) change_(changeContext_);
}

void Callbacks::SayKept() {
  if (kept_.empty()) return;
  std::vector<std::string> lines;
  lines.swap(kept_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& line : lines) {
    if (log_)
      log_(logContext_, line.c_str());
    else
      std::fprintf(stderr, "xldl: %s\n", line.c_str());
  }
}

}  // namespace xldl
