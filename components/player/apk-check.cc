#include "components/player/apk-check.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "apk/package-name.h"
#include "components/player/child-process.h"
#include "components/player/result-codes.h"

namespace runbox {

namespace {

// The quoted values of a badging line, in order: "name='a' x='b'" gives a, b.
std::vector<std::string> QuotedValues(const std::string& line) {
  std::vector<std::string> values;
  for (std::size_t at = line.find('\''); at != std::string::npos;) {
    std::size_t end = line.find('\'', at + 1);
    if (end == std::string::npos) break;
    values.push_back(line.substr(at + 1, end - at - 1));
    at = line.find('\'', end + 1);
  }
  return values;
}

std::string Attribute(const std::string& line, const std::string& name) {
  std::string key = name + "='";
  std::size_t at = line.find(key);
  if (at == std::string::npos) return {};
  at += key.size();
  std::size_t end = line.find('\'', at);
  return end == std::string::npos ? std::string() : line.substr(at, end - at);
}

bool StartsWith(const std::string& line, const char* prefix) {
  return line.rfind(prefix, 0) == 0;
}

}  // namespace

bool ParseBadging(const std::string& text, PackageFacts* facts) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (StartsWith(line, "package:")) {
      facts->name = Attribute(line, "name");
    } else if (StartsWith(line, "application-label:") && facts->label.empty()) {
      std::vector<std::string> values = QuotedValues(line);
      if (!values.empty()) facts->label = values.front();
    } else if (StartsWith(line, "application:") && facts->label.empty()) {
      facts->label = Attribute(line, "label");
    } else if (StartsWith(line, "launchable-activity:") && facts->activity.empty()) {
      facts->activity = Attribute(line, "name");
    } else if (StartsWith(line, "native-code:") || StartsWith(line, "alt-native-code:")) {
      for (const std::string& abi : QuotedValues(line)) facts->nativeAbis.push_back(abi);
    }
  }
  if (facts->label.empty()) facts->label = facts->name;
  return !facts->name.empty();
}

int CheckPackage(const PlayerConfig& config, const std::string& apkPath, PackageFacts* facts,
                 std::string* detail) {
  struct stat info {};
  if (apkPath.empty() || stat(apkPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      access(apkPath.c_str(), R_OK) != 0) {
    *detail = "cannot read " + apkPath;
    return kFileNotFound;
  }
  facts->size = static_cast<unsigned long long>(info.st_size);
  std::string output;
  int exitCode = 0;
  if (access(config.aaptPath.c_str(), X_OK) != 0) {
    *detail = "packaging tool " + config.aaptPath + " cannot run";
    return kCheckerMissing;
  }
  RunEnd end = RunAndCapture({config.aaptPath, "dump", "badging", apkPath}, &output, &exitCode);
  if (end != RunEnd::kExited) {
    *detail = "packaging tool " + config.aaptPath +
              (end == RunEnd::kTimedOut ? " did not finish" : " cannot run");
    return end == RunEnd::kTimedOut ? kNotAPackage : kCheckerMissing;
  }
  if (exitCode != 0 || !ParseBadging(output, facts)) {
    std::string first = output.substr(0, output.find('\n'));
    *detail = apkPath + " is not a readable package: " + first;
    return kNotAPackage;
  }
  // The name becomes a file name in the player's storage: it must be a name, not a path.
  if (!lumo::IsValidPackageName(facts->name)) {
    *detail = apkPath + " names its package \"" + facts->name + "\", which is not a package name";
    return kNotAPackage;
  }
  if (facts->nativeAbis.empty()) return kOk;
  for (const std::string& abi : facts->nativeAbis) {
    if (std::find(config.abis.begin(), config.abis.end(), abi) != config.abis.end()) return kOk;
  }
  *detail = facts->name + " has native code only for";
  for (const std::string& abi : facts->nativeAbis) *detail += " " + abi;
  return kNoNativeCodeForVm;
}

}  // namespace runbox
