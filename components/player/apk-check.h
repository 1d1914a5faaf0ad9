#pragma once

#include <string>
#include <vector>

#include "components/player/player-config.h"

namespace runbox {

// What the player needs to know of a package before it installs it.
struct PackageFacts {
  std::string name;
  std::string label;
  std::string activity;                 // the launchable activity; may be empty
  std::vector<std::string> nativeAbis;  // lib/<abi>/ folders; empty for pure Java code
  unsigned long long size = 0;
  std::vector<std::string> parts;  // a bundle's APKs, base first; empty for a single APK
};

// Reads the APK with the packaging tool and checks that this VM can run it. Returns a result
// code (kOk, kFileNotFound, kNotAPackage, kNoNativeCodeForVm, kCheckerMissing); `detail` says
// what was wrong.
int CheckPackage(const PlayerConfig& config, const std::string& apkPath, PackageFacts* facts,
                 std::string* detail);

// Parses the tool's "dump badging" text; false when it names no package.
bool ParseBadging(const std::string& text, PackageFacts* facts);

}  // namespace runbox
