#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumo {

// What aapt prints about an APK's resources and an XML icon, read line by line without
// backtracking; lines beyond a length cap and values that do not parse are skipped.

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

ResourceTable ParseResourceTable(const std::string& dump);
bool ParseAdaptiveIconTree(const std::string& tree, AdaptiveLayers* layers);

// The entry of the best raster picture among a resource's values (the highest density of PNG,
// WebP or JPEG files), following references a few steps; empty when it has none.
std::string BestRasterEntry(const ResourceTable& table, const std::string& id);
// The resource whose values include the file `entry`; empty when none does.
std::string ResourceOfEntry(const ResourceTable& table, const std::string& entry);

}  // namespace lumo
