#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumo {

// A bundle (".xapk", ".apks") is a zip of split APKs that install together as one package:
// one base APK plus configuration splits, named by an optional "manifest.json". Everything in
// it is outside input: names are checked before they become files and sizes are capped.
inline constexpr std::size_t kMaxBundleEntries = 4096;
inline constexpr std::size_t kMaxBundleParts = 64;
inline constexpr std::uint64_t kMaxBundlePartBytes = 4ull << 30;
inline constexpr std::uint64_t kMaxBundleBytes = 8ull << 30;
inline constexpr std::size_t kMaxBundleManifestBytes = 1 << 20;

// Whether the file name calls it a bundle (".xapk" or ".apks", in any case).
bool IsBundlePath(const std::string& path);

struct BundleEntry {
  std::string name;
  std::uint64_t size = 0;  // the inflated size the archive declares
};

// Which entries of a bundle are its APKs: the base first, then the splits in listing order.
struct BundleLayout {
  std::string base;
  std::vector<std::string> splits;
  std::uint64_t bytes = 0;  // declared size of all parts
};

// Picks the parts from the archive's listing and its manifest text (empty when it has none).
// With a manifest, its "split_apks" list names the parts and the one with id "base" is the
// base; without one, every ".apk" outside "standalones/" is a part and the base is the one
// named "base.apk" or "base-master.apk" (or the only one). False with `error` when an entry
// name could escape a folder, a part is missing or too large, or no base can be told.
bool PlanBundle(const std::vector<BundleEntry>& entries, const std::string& manifest,
                BundleLayout* layout, std::string* error);

// Lists the bundle in memory or on disk, reads its manifest and plans it.
bool ReadBundleBytes(const void* data, std::size_t size, BundleLayout* layout, std::string* error);
bool ReadBundle(const std::string& path, BundleLayout* layout, std::string* error);

// Writes the bundle's parts into `folder` (which must exist) as "base.apk", "split-1.apk", ...
// and lists their paths, base first; only the base when `baseOnly`. Inflation is checked
// against the declared sizes and the caps. On failure the files written so far are removed.
bool UnpackBundle(const std::string& path, const std::string& folder, bool baseOnly,
                  std::vector<std::string>* files, std::string* error);

}  // namespace lumo
