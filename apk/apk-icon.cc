#include "apk/apk-icon.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "apk/adaptive-icon.h"
#include "apk/zip-archive.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/settings.h"
#include "platform/system.h"

namespace lumo {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A temporary name beside the icon, unique per process and call, so concurrent extractions
// of one package never share a half-written file.
std::string TemporaryPath(const std::string& iconPath) {
  static std::atomic<unsigned> counter{0};
  return iconPath + ".tmp-" + std::to_string(platform::CurrentThreadId()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// Finds the icon entry, refusing one whose declared size is beyond the cap.
const ZipEntry* FindIconEntry(const ZipArchive& archive, const std::string& name) {
  const ZipEntry* entry = archive.Find(name);
  if (entry && entry->size > kMaxIconBytes) {
    Log::instance()->write("icon entry %s is too large to extract. [size=%llu]", name.c_str(),
                           static_cast<unsigned long long>(entry->size));
    return nullptr;
  }
  return entry;
}

// PNG, JPEG, WebP, GIF or BMP by its first bytes: what the window can show as an icon.
bool LooksLikeImage(const std::string& path) {
  File in(std::fopen(path.c_str(), "rb"));
  unsigned char head[12] = {};
  if (!in || std::fread(head, 1, sizeof head, in.get()) != sizeof head) return false;
  auto is = [&head](const char* magic, std::size_t at = 0) {
    return std::memcmp(head + at, magic, std::strlen(magic)) == 0;
  };
  return is("\x89PNG\r\n") || is("\xff\xd8\xff") || (is("RIFF") && is("WEBP", 8)) || is("GIF8") ||
         is("BM");
}

// Moves a finished temporary file to the icon's name; removes it when that fails.
bool Publish(const std::string& temporary, const std::string& iconPath, bool ok) {
  std::error_code error;
  // A rename replaces a link at the icon's name instead of writing through it.
  if (ok) std::filesystem::rename(temporary, iconPath, error);
  if (!ok || error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

// Writes the entry to `iconPath` through a temporary file and a rename; an entry that is not
// a picture is never written under the picture's name.
bool WriteIcon(const ZipArchive& archive, const ZipEntry& entry, const std::string& iconPath) {
  const std::string temporary = TemporaryPath(iconPath);
  // "x": never open an existing file or follow a link planted under the temporary name.
  File out(std::fopen(temporary.c_str(), "wbx"));
  if (!out) return false;
  bool copied = archive.Stream(entry, kMaxIconBytes, [&out](const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, out.get()) == size;
  });
  copied = std::fclose(out.release()) == 0 && copied;
  if (copied && !LooksLikeImage(temporary)) {
    Log::instance()->write("icon entry is not a picture; not written. [path=%s]", iconPath.c_str());
    copied = false;
  }
  return Publish(temporary, iconPath, copied);
}

// An adaptive icon drawn from its layers, else the name of the raster icon to copy instead;
// empty when neither can be had.
std::string DrawAdaptiveIcon(const ApkBadging& info, const std::string& iconPath, bool* drawn) {
  const std::string temporary = TemporaryPath(iconPath);
  std::string fallback;
  *drawn = Publish(temporary, iconPath,
                   RenderAdaptiveIcon(info.apkPath, info.iconEntry, temporary, &fallback));
  if (!*drawn && fallback.empty())
    Log::instance()->write("icon of %s not extracted: %s has no picture to draw or copy.",
                           info.packageName.c_str(), info.iconEntry.c_str());
  return fallback;
}

}  // namespace

bool ExtractApkIcon(ApkBadging& info) {
  return ExtractApkIcon(info, Settings::instance().iconsDir);
}

bool ExtractApkIcon(ApkBadging& info, const std::string& iconsDir) {
  if (info.apkPath.empty() || info.iconEntry.empty() || iconsDir.empty()) return false;
  if (!IsValidPackageName(info.packageName)) {
    Log::instance()->write("icon not extracted: invalid package name. [name=%s]",
                           info.packageName.c_str());
    return false;
  }
  const std::string iconPath = PathJoin(iconsDir, info.packageName + ".png");
  std::string entryName = info.iconEntry;
  if (entryName.size() > 4 && entryName.compare(entryName.size() - 4, 4, ".xml") == 0) {
    bool drawn = false;
    entryName = DrawAdaptiveIcon(info, iconPath, &drawn);
    if (drawn) {
      info.iconPath = iconPath;
      return true;
    }
    if (entryName.empty()) return false;
  }
  ZipArchive archive;
  if (!archive.Open(info.apkPath, nullptr)) return false;
  const ZipEntry* entry = FindIconEntry(archive, entryName);
  if (!entry || !WriteIcon(archive, *entry, iconPath)) return false;
  info.iconPath = iconPath;
  return true;
}

}  // namespace lumo
