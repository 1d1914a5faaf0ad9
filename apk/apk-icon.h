#pragma once

#include <cstdint>
#include <string>

#include "apk/apk-badging.h"

namespace lumo {

// An icon entry that inflates beyond this is refused: no real launcher icon comes near it.
inline constexpr std::uint64_t kMaxIconBytes = std::uint64_t{16} * 1024 * 1024;

// Copies the entry `info.iconEntry` of the APK `info.apkPath` into the icons folder as
// "<packageName>.png" (whatever the image's own format), streamed in 512 KiB chunks through a
// temporary file, so a failed copy leaves no partial icon. On success sets `info.iconPath`
// and returns true. Refuses a package name that is not a valid Android package name, so the
// file can never land outside the folder.
bool ExtractApkIcon(ApkBadging& info);
// The same into `iconsDir` instead of the user's icons folder.
bool ExtractApkIcon(ApkBadging& info, const std::string& iconsDir);

}  // namespace lumo
