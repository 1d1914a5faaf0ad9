#pragma once

#include <string>

#include "apk/icon-resources.h"

namespace lumo {

// Since Android 8 an APK's icon is often an XML "adaptive icon": a background and a
// foreground layer of 108 dp, of which a launcher shows the middle 72 dp through a mask. These
// read what aapt prints about such an icon and draw it as one picture.

// Side of the pictures drawn from adaptive icons, in pixels.
inline constexpr int kAdaptiveIconSize = 192;

// Draws the adaptive icon `xmlEntry` of the APK into a PNG file at `pngPath`. False, writing
// nothing, when a layer is neither a raster picture nor a plain colour (a vector drawable, for
// one); `fallback` then names the APK's best raster launcher icon, when it has one.
bool RenderAdaptiveIcon(const std::string& apkPath, const std::string& xmlEntry,
                        const std::string& pngPath, std::string* fallback);

}  // namespace lumo
