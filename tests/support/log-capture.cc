#include "tests/support/log-capture.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include "app/log.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo::test {

namespace {

TempDir* folder = nullptr;
std::once_flag started;

}  // namespace

void StartLogCapture() {
  std::call_once(started, [] {
    folder = new TempDir;  // lives until the program ends, like the log
    std::atexit([] { delete folder; });
    Log::instance()->init("lum", folder->path());
  });
}

std::string CapturedLog() {
  StartLogCapture();
  return ReadFile(Log::instance()->path());
}

bool WaitForLogLine(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return CapturedLog().find(text) != std::string::npos; }, timeout);
}

}  // namespace lumo::test
