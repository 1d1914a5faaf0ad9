#include "apk/apk-bundle.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include <json/json.h>
#include <zip.h>

namespace lumo {

namespace {

constexpr std::size_t kMaxNameBytes = 512;
constexpr std::size_t kChunkBytes = 1 << 20;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
  void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

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

Archive OpenArchive(zip_source_t* source, std::string* error) {
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &zipError);
  if (!archive) {
    zip_source_free(source);
    Fail(error, std::string("not a zip archive: ") + zip_error_strerror(&zipError));
  }
  zip_error_fini(&zipError);
  return Archive(archive);
}

// Reads a small entry whole; false when it is larger than `limit` or cannot be read.
bool ReadSmallEntry(zip_t* archive, zip_int64_t index, std::size_t limit, std::string* text) {
  Entry entry(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
  if (!entry) return false;
  char chunk[4096];
  for (;;) {
    zip_int64_t n = zip_fread(entry.get(), chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    if (text->size() + static_cast<std::size_t>(n) > limit) return false;
    text->append(chunk, static_cast<std::size_t>(n));
  }
}

bool ListArchive(zip_t* archive, std::vector<BundleEntry>* entries, std::string* manifest,
                 std::string* error) {
  zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > kMaxBundleEntries)
    return Fail(error, "too many entries in the bundle");
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 || !stat.name ||
        !(stat.valid & ZIP_STAT_SIZE))
      return Fail(error, "unreadable entry in the bundle");
    entries->push_back({stat.name, stat.size});
    if (entries->back().name == "manifest.json" &&
        !ReadSmallEntry(archive, i, kMaxBundleManifestBytes, manifest))
      return Fail(error, "the bundle's manifest cannot be read");
  }
  return true;
}

bool ReadArchive(zip_t* archive, BundleLayout* layout, std::string* error) {
  std::vector<BundleEntry> entries;
  std::string manifest;
  return ListArchive(archive, &entries, &manifest, error) &&
         PlanBundle(entries, manifest, layout, error);
}

// Streams one entry to `path`, refusing more bytes than it declared.
bool WriteEntry(zip_t* archive, const std::string& name, std::uint64_t declared,
                const std::string& path, std::string* error) {
  Entry entry(zip_fopen(archive, name.c_str(), 0));
  std::FILE* out = entry ? std::fopen(path.c_str(), "wbx") : nullptr;
  if (!out) return Fail(error, "cannot unpack " + name + " to " + path);
  std::vector<char> chunk(kChunkBytes);
  std::uint64_t total = 0;
  bool ok = true;
  for (;;) {
    zip_int64_t n = zip_fread(entry.get(), chunk.data(), chunk.size());
    if (n <= 0) {
      ok = n == 0 && total == declared;
      break;
    }
    total += static_cast<std::uint64_t>(n);
    if (total > declared || std::fwrite(chunk.data(), 1, static_cast<std::size_t>(n), out) !=
                                static_cast<std::size_t>(n)) {
      ok = false;
      break;
    }
  }
  ok = std::fclose(out) == 0 && ok;
  if (!ok) Fail(error, "cannot unpack " + name + ": damaged or not the declared size");
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
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &zipError);
  zip_error_fini(&zipError);
  if (!source) return Fail(error, "cannot read the bundle");
  Archive archive = OpenArchive(source, error);
  return archive && ReadArchive(archive.get(), layout, error);
}

bool ReadBundle(const std::string& path, BundleLayout* layout, std::string* error) {
  int code = 0;
  Archive archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
  if (!archive) return Fail(error, "cannot open " + path + " as a zip archive");
  return ReadArchive(archive.get(), layout, error);
}

bool UnpackBundle(const std::string& path, const std::string& folder, bool baseOnly,
                  std::vector<std::string>* files, std::string* error) {
  int code = 0;
  Archive archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
  BundleLayout layout;
  if (!archive) return Fail(error, "cannot open " + path + " as a zip archive");
  if (!ReadArchive(archive.get(), &layout, error)) return false;
  std::vector<std::string> parts = {layout.base};
  if (!baseOnly) parts.insert(parts.end(), layout.splits.begin(), layout.splits.end());
  std::vector<std::string> written;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    zip_stat(archive.get(), parts[i].c_str(), 0, &stat);
    std::string target = folder + (i == 0 ? "/base.apk" : "/split-" + std::to_string(i) + ".apk");
    if (!WriteEntry(archive.get(), parts[i], stat.size, target, error)) {
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
