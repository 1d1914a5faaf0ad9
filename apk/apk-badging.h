#pragma once

#include <string>
#include <vector>

#include "apk/package-name.h"

namespace lumo {

// What inspecting one APK yields. Text is UTF-8; every field starts empty.
struct ApkBadging {
  std::string apkPath;      // set by the caller
  std::string packageName;  // from the "package:" line
  std::string versionCode;  // from the same line; empty when it names none
  std::string versionName;
  std::string iconEntry;       // archive entry of the icon nearest 240 dpi, larger first
  std::string launchActivity;  // from the "launchable-activity:" line
  std::string label;           // the Chinese label, else the default one
  std::string iconPath;        // set only by a successful ExtractApkIcon
  // ABIs of the APK's native libraries ("native-code:" lines); empty for Java-only code.
  std::vector<std::string> nativeCode;
};

// Runs the packaging tool beside the executable with "dump badging" on `info.apkPath` and
// fills packageName, iconEntry, launchActivity and label from its output. Blocks the calling
// thread while the tool runs. Does nothing for an empty apkPath.
void ReadApkBadging(ApkBadging& info);

// The matching half of ReadApkBadging: takes the fields out of the tool's output. A field
// whose line is missing keeps its value. A missing or unusable package name is logged with
// the whole output.
void ParseApkBadging(const std::string& output, ApkBadging& info);

// Runs `argv` (argv[0] is the program's path; no shell is involved) and returns what it wrote
// to standard output and standard error; empty when it cannot be started.
std::string RunAndCapture(const std::vector<std::string>& argv);

// The packaging tool: "aapt" in the executable's folder, unless a test chose another path.
std::string AaptPath();
void SetAaptPathForTest(const std::string& path);

}  // namespace lumo
