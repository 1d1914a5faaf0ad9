#pragma once

#include <string>

#include "apk/apk-badging.h"

namespace lumo {

// What Lumo reads from a package file the user picked: a plain APK where it lies, a bundle of
// split APKs (".xapk", ".apks") through its base APK, unpacked into a private temporary
// folder that is gone when this returns. Extracts the icon into `iconsDir` when it is not
// empty. `apkPath` of the result is `path`. Blocks while aapt runs.
ApkBadging ReadPackageFile(const std::string& path, const std::string& iconsDir);

}  // namespace lumo
