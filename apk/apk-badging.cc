#include "apk/apk-badging.h"

#include <cstddef>

#include "apk/badging-lines.h"
#include "app/log.h"
#include "app/paths.h"
#include "platform/process.h"

namespace lumo {

namespace {

// Badging output is a few KiB; anything far beyond that is not the tool we expect.
constexpr std::size_t kMaxToolOutput = std::size_t{4} << 20;

std::string& AaptPathOverride() {
  static std::string path;
  return path;
}

}  // namespace

std::string AaptPath() {
  const std::string& chosen = AaptPathOverride();
  return chosen.empty() ? ExeDir() + "aapt" : chosen;
}

void SetAaptPathForTest(const std::string& path) {
  AaptPathOverride() = path;
}

std::string RunAndCapture(const std::vector<std::string>& argv) {
  return platform::RunProcess(argv, kMaxToolOutput).text;
}

void ParseApkBadging(const std::string& text, ApkBadging& info) {
  ParseBadgingLines(text, info);
  if (info.packageName.empty())
    Log::instance()->write("aapt dumpbadging packagename error. [source=%s]", text.c_str());
}

void ReadApkBadging(ApkBadging& info) {
  if (info.apkPath.empty()) return;
  // The path is one argument whatever it holds: quotes, blanks and "$(...)" stay inert.
  ParseApkBadging(RunAndCapture({AaptPath(), "dump", "badging", info.apkPath}), info);
}

}  // namespace lumo
