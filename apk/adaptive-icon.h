#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumo {

// Since Android 8 an APK's icon is often an XML "adaptive icon": a background and a
// foreground layer of 108 dp, of which a launcher shows the middle 72 dp through a mask. These
// read what aapt prints about such an icon and draw it as one picture.

// One value of a resource in one configuration, as "aapt dump --values resources" prints it.
struct ResourceValue {
  std::string config;     // "xxhdpi-v4", "(default)", "anydpi-v26"
  std::string file;       // an entry of the APK, for a file resource
  std::string reference;  // "0x7f020000", for a reference to another resource
  bool isColour = false;
  std::uint32_t argb = 0;  // for a colour
};
using ResourceTable = std::map<std::string, std::vector<ResourceValue>>;  // by "0x7f......"

// The layers of an adaptive icon from "aapt dump xmltree": each "@0x7f......" or empty.
struct AdaptiveLayers {
  std::string background;
  std::string foreground;
};

// Line by line; lines beyond a length cap and values that do not parse are skipped.
ResourceTable ParseResourceTable(const std::string& dump);
bool ParseAdaptiveIconTree(const std::string& tree, AdaptiveLayers* layers);

// The entry of the best raster picture among a resource's values (the highest density of PNG,
// WebP or JPEG files), following references a few steps; empty when it has none.
std::string BestRasterEntry(const ResourceTable& table, const std::string& id);
// The resource whose values include the file `entry`; empty when none does.
std::string ResourceOfEntry(const ResourceTable& table, const std::string& entry);

// Side of the pictures drawn from adaptive icons, in pixels.
inline constexpr int kAdaptiveIconSize = 192;

// Draws the adaptive icon `xmlEntry` of the APK into a PNG file at `pngPath`. False, writing
// nothing, when a layer is neither a raster picture nor a plain colour (a vector drawable, for
// one); `fallback` then names the APK's best raster launcher icon, when it has one.
bool RenderAdaptiveIcon(const std::string& apkPath, const std::string& xmlEntry,
                        const std::string& pngPath, std::string* fallback);

}  // namespace lumo
