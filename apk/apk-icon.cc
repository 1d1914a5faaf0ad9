#include "apk/apk-icon.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include <zip.h>

#include "app/log.h"
#include "app/paths.h"
#include "app/settings.h"
#include "platform/system.h"

namespace lumo {

namespace {

constexpr std::size_t kChunkBytes = 524288;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }  // read-only: nothing to save
};
struct EntryCloser {
  void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;
using File = std::unique_ptr<std::FILE, FileCloser>;

// A temporary name beside the icon, unique per process and call, so concurrent extractions
// of one package never share a half-written file.
std::string TemporaryPath(const std::string& iconPath) {
  static std::atomic<unsigned> counter{0};
  return iconPath + ".tmp-" + std::to_string(platform::CurrentThreadId()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// Streams the entry into `out`; false on a read or write error or when the inflated data
// passes the cap (the sizes in the archive's directory may lie).
bool CopyEntry(zip_file_t* entry, std::FILE* out) {
  std::vector<char> chunk(kChunkBytes);
  std::uint64_t total = 0;
  for (;;) {
    zip_int64_t n = zip_fread(entry, chunk.data(), chunk.size());
    if (n < 0) return false;
    if (n == 0) return true;
    total += static_cast<std::uint64_t>(n);
    if (total > kMaxIconBytes) return false;
    if (std::fwrite(chunk.data(), 1, static_cast<std::size_t>(n), out) !=
        static_cast<std::size_t>(n))
      return false;
  }
}

// Opens the icon entry, refusing one whose declared size is beyond the cap.
Entry OpenIconEntry(zip_t* archive, const std::string& name) {
  zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
  if (index < 0) return nullptr;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) return nullptr;
  if ((stat.valid & ZIP_STAT_SIZE) && stat.size > kMaxIconBytes) {
    Log::instance()->write("icon entry %s is too large to extract. [size=%llu]", name.c_str(),
                           static_cast<unsigned long long>(stat.size));
    return nullptr;
  }
  return Entry(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
}

// Writes the entry to `iconPath` through a temporary file and a rename.
bool WriteIcon(zip_file_t* entry, const std::string& iconPath) {
  const std::string temporary = TemporaryPath(iconPath);
  // "x": never open an existing file or follow a link planted under the temporary name.
  File out(std::fopen(temporary.c_str(), "wbx"));
  if (!out) return false;
  bool copied = CopyEntry(entry, out.get());
  copied = std::fclose(out.release()) == 0 && copied;
  std::error_code error;
  // A rename replaces a link at the icon's name instead of writing through it.
  if (copied) std::filesystem::rename(temporary, iconPath, error);
  if (!copied || error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
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
  int openError = 0;
  Archive archive(zip_open(info.apkPath.c_str(), ZIP_RDONLY, &openError));
  if (!archive) return false;
  Entry entry = OpenIconEntry(archive.get(), info.iconEntry);
  if (!entry) return false;
  const std::string iconPath = PathJoin(iconsDir, info.packageName + ".png");
  if (!WriteIcon(entry.get(), iconPath)) return false;
  info.iconPath = iconPath;
  return true;
}

}  // namespace lumo
