#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumo::store {

enum class IconFormat { kNone, kPng, kJpeg, kWebp };
// An adaptive launcher icon ("@mipmap/ic_launcher", an XML file at anydpi-v26) with raster
// icons beside it: orange at hdpi, red at xxhdpi. Its foreground is a white disc of 40 dp on a
// transparent PNG layer, or a vector drawable; its background #3d7eff, a PNG layer or a
// colour (always a colour under the vector). kWebpLayers is kPictureLayers with lossless WebP
// layers.
enum class AdaptiveIcon {
  kNone,
  kPictureLayers,
  kWebpLayers,
  kColourBackground,
  kVectorForeground
};

// What a built APK holds. Every APK is real: its manifest and resources are compiled by aapt
// against the system's Android framework resources.
struct ApkSpec {
  std::string packageName = "com.lumo.sample";
  std::string label = "Sample Game";
  std::string chineseLabel;  // the zh-rCN label; empty: none
  bool launchable = true;    // whether the activity has the MAIN/LAUNCHER filter
  std::string activity = ".MainActivity";
  IconFormat iconFormat = IconFormat::kPng;  // kNone: no icon at all
  // Icon densities in dpi: 120, 160, 240, 320, 480 or 640. The icon at each density is a
  // square of 48 * dpi / 160 pixels in its own colour, so every density's bytes differ.
  std::vector<int> iconDensities = {160, 240};
  // A PNG scaled to each density in place of the plain squares; empty: the squares.
  std::string iconImage;
  AdaptiveIcon adaptiveIcon = AdaptiveIcon::kNone;  // when set, replaces the icon above
  std::vector<std::string> nativeAbis;              // each adds "lib/<abi>/libgame.so"
  // Pseudo-random bytes stored uncompressed as "assets/payload.bin", for big APKs.
  std::uint64_t payloadBytes = 0;
};

// Builds the APK at `apkPath` (replacing a file there) with "aapt package", then adds the
// native libraries and the payload with libzip. Needs aapt, ImageMagick's convert and
// /usr/share/android-framework-res/framework-res.apk. On failure returns false and says why.
bool BuildApk(const ApkSpec& recipe, const std::string& apkPath, std::string* error = nullptr);

// Packs files into a bundle of split APKs at `path`: each (entry name, file) pair, and
// "manifest.json" with `manifest` when it is not empty.
bool BuildBundle(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& files,
                 const std::string& manifest, std::string* error = nullptr);

// The archive entry aapt gives the icon of `density` ("res/drawable-hdpi-v4/icon.png").
std::string IconEntryName(const ApkSpec& recipe, int density);

}  // namespace lumo::store
