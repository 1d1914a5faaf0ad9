#include "apk/apk-bundle.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include <json/json.h>

#include "apk/zip-archive.h"

namespace lumo {

namespace {

constexpr std::size_t kMaxNameBytes = 512;

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  // `suffix` is lower case; the text may be in any case.
  return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char low, char c) {
    return std::tolower(static_cast<unsigned char>(c)) == low;
  });
}

std::string BaseName(const std::string& name) {
  return name.substr(name.rfind('/') + 1);
}

// A relative name of plain steps: no "..", no absolute path, no backslash or control byte.
bool IsSafeName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes || name.front() == '/') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == '\\' || c == 0x7f) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = name.find('/', start);
    std::string step = name.substr(start, end == std::string::npos ? end : end - start);
    if (step.empty() || step == "." || step == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The manifest's parts as (file, id); false when it is not the expected JSON.
bool ManifestParts(const std::string& manifest,
                   std::vector<std::pair<std::string, std::string>>* parts) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = 32;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string ignored;
  if (!reader->parse(manifest.data(), manifest.data() + manifest.size(), &root, &ignored) ||
      !root.isObject())
    return false;
  const Json::Value& list = root["split_apks"];
  if (!list.isArray()) return false;
  for (const Json::Value& item : list) {
    if (!item.isObject() || !item["file"].isString()) return false;
    std::string id = item["id"].isString() ? item["id"].asString() : "";
    parts->emplace_back(item["file"].asString(), id);
    if (parts->size() > kMaxBundleParts) return false;
  }
  return true;
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

bool ReadArchive(const ZipArchive& archive, BundleLayout* layout, std::string* error) {
  if (archive.Entries().size() > kMaxBundleEntries)
    return Fail(error, "too many entries in the bundle");
  std::vector<BundleEntry> entries;
  std::string manifest;
  for (const ZipEntry& entry : archive.Entries()) {
    entries.push_back({entry.name, entry.size});
    if (entry.name == "manifest.json" && !archive.Read(entry, kMaxBundleManifestBytes, &manifest))
      return Fail(error, "the bundle's manifest cannot be read");
  }
  return PlanBundle(entries, manifest, layout, error);
}

// Streams one entry to `path`; inflation is checked against the size the entry declares.
bool WriteEntry(const ZipArchive& archive, const std::string& name, const std::string& path,
                std::string* error) {
  const ZipEntry* entry = archive.Find(name);
  std::FILE* out = entry ? std::fopen(path.c_str(), "wbx") : nullptr;
  if (!out) return Fail(error, "cannot unpack " + name + " to " + path);
  std::string why;
  bool ok = archive.Stream(
      *entry, kMaxBundlePartBytes,
      [out](const char* data, std::size_t size) { return std::fwrite(data, 1, size, out) == size; },
      &why);
  ok = std::fclose(out) == 0 && ok;
  if (!ok)
    Fail(error, "cannot unpack " + name + ": " + (why.empty() ? "cannot write " + path : why));
  return ok;
}

}  // namespace

bool IsBundlePath(const std::string& path) {
  return EndsWithNoCase(path, ".xapk") || EndsWithNoCase(path, ".apks");
}

bool PlanBundle(const std::vector<BundleEntry>& entries, const std::string& manifest,
                BundleLayout* layout, std::string* error) {
  std::map<std::string, std::uint64_t> sizes;
  for (const BundleEntry& entry : entries) {
    // A folder entry ends in a slash; the rest of its name follows the same rule.
    bool folder = !entry.name.empty() && entry.name.back() == '/';
    if (!IsSafeName(folder ? entry.name.substr(0, entry.name.size() - 1) : entry.name))
      return Fail(error, "unsafe entry name in the bundle");
    if (!sizes.emplace(entry.name, entry.size).second)
      return Fail(error, "entry " + entry.name + " appears twice");
  }
  std::vector<std::pair<std::string, std::string>> parts;
  if (!manifest.empty()) {
    if (!ManifestParts(manifest, &parts)) return Fail(error, "the bundle's manifest is malformed");
  } else {
    for (const BundleEntry& entry : entries)
      if (EndsWithNoCase(entry.name, ".apk") && entry.name.rfind("standalones/", 0) != 0) {
        std::string base = BaseName(entry.name);
        parts.emplace_back(entry.name,
                           base == "base.apk" || base == "base-master.apk" ? "base" : "");
      }
    if (parts.size() == 1) parts.front().second = "base";
  }
  if (parts.empty() || parts.size() > kMaxBundleParts) return Fail(error, "no parts to install");
  BundleLayout planned;
  for (const auto& [file, id] : parts) {
    auto found = sizes.find(file);
    if (found == sizes.end() || !EndsWithNoCase(file, ".apk"))
      return Fail(error, "part " + file + " is not an APK of the bundle");
    if (found->second > kMaxBundlePartBytes) return Fail(error, "part " + file + " is too large");
    planned.bytes += found->second;
    if (id != "base") {
      planned.splits.push_back(file);
    } else if (!planned.base.empty()) {
      return Fail(error, "the bundle has two bases");
    } else {
      planned.base = file;
    }
  }
  if (planned.base.empty()) return Fail(error, "the bundle names no base APK");
  if (planned.bytes > kMaxBundleBytes) return Fail(error, "the bundle is too large");
  std::set<std::string> unique(planned.splits.begin(), planned.splits.end());
  if (unique.size() != planned.splits.size() || unique.count(planned.base))
    return Fail(error, "a part is named twice");
  *layout = std::move(planned);
  return true;
}

bool ReadBundleBytes(const void* data, std::size_t size, BundleLayout* layout, std::string* error) {
  ZipArchive archive;
  return archive.OpenBytes(std::string(static_cast<const char*>(data), size), error) &&
         ReadArchive(archive, layout, error);
}

bool ReadBundle(const std::string& path, BundleLayout* layout, std::string* error) {
  ZipArchive archive;
  return archive.Open(path, error) && ReadArchive(archive, layout, error);
}

bool UnpackBundle(const std::string& path, const std::string& folder, bool baseOnly,
                  std::vector<std::string>* files, std::string* error) {
  ZipArchive archive;
  BundleLayout layout;
  if (!archive.Open(path, error) || !ReadArchive(archive, &layout, error)) return false;
  std::vector<std::string> parts = {layout.base};
  if (!baseOnly) parts.insert(parts.end(), layout.splits.begin(), layout.splits.end());
  std::vector<std::string> written;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string target = folder + (i == 0 ? "/base.apk" : "/split-" + std::to_string(i) + ".apk");
    if (!WriteEntry(archive, parts[i], target, error)) {
      std::remove(target.c_str());
      for (const std::string& file : written) std::remove(file.c_str());
      return false;
    }
    written.push_back(target);
  }
  *files = std::move(written);
  return true;
}

}  // namespace lumo
