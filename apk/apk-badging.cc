#include "apk/apk-badging.h"

#include <cstddef>
// GCC 12 reports a false maybe-uninitialized inside libstdc++'s regex compiler when
// instrumented builds inline it; the warning is about the library's code, not ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

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

// The field is the first match less its fixed prefix and its closing quote.
bool MatchField(const std::string& text, const std::regex& expression, std::size_t prefix,
                std::string* field) {
  std::smatch match;
  if (!std::regex_search(text, match, expression)) return false;
  const std::string whole = match.str(0);
  if (whole.size() < prefix + 1) return false;
  *field = whole.substr(prefix, whole.size() - prefix - 1);
  return true;
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
  // `.` stops at a line end, so the quoted fields end at the last quote of their line; \S+
  // ends the package and activity names at the last quote before the next blank.
  static const std::regex kPackage(R"(package:\sname='\S+')");
  static const std::regex kIcon240(R"(application-icon-240:'(.+)')");
  static const std::regex kActivity(R"(launchable-activity:\sname='\S+')");
  // Older tools write the Chinese locale as zh_CN, newer ones as zh-CN.
  static const std::regex kChineseLabel(R"(application-label-zh[_-]CN:'(.+)')");
  static const std::regex kLabel(R"(application-label:'(.+)')");

  std::string packageName;
  // A name that is not a package name (a "/" or ".." from a forged manifest) is dropped
  // here, so that nothing downstream ever builds a path or a key from it.
  if (MatchField(text, kPackage, 15, &packageName))
    info.packageName = IsValidPackageName(packageName) ? packageName : std::string();
  if (info.packageName.empty())
    Log::instance()->write("aapt dumpbadging packagename error. [source=%s]", text.c_str());
  MatchField(text, kIcon240, 22, &info.iconEntry);
  MatchField(text, kActivity, 27, &info.launchActivity);
  MatchField(text, kChineseLabel, 25, &info.label);
  if (info.label.empty()) MatchField(text, kLabel, 19, &info.label);
}

void ReadApkBadging(ApkBadging& info) {
  if (info.apkPath.empty()) return;
  // The path is one argument whatever it holds: quotes, blanks and "$(...)" stay inert.
  ParseApkBadging(RunAndCapture({AaptPath(), "dump", "badging", info.apkPath}), info);
}

}  // namespace lumo
