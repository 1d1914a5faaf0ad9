#include "toolkit/skin-cache.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <glib.h>

#include "app/path-steps.h"
#include "app/paths.h"
#include "platform/file-system.h"

namespace lumo::toolkit {

namespace {

constexpr char kFolderPrefix[] = "skin-";

std::string CacheHome() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return cache;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] == '/' ? home : g_get_home_dir()) + "/.cache";
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool WriteImages(const ResourceArchive& archive, const std::string& folder) {
  for (const std::string& name : archive.Names()) {
    if (!IsImageEntry(name)) continue;
    std::string bytes;
    archive.Read(name, &bytes);
    std::string path = PathJoin(folder, name);
    platform::MakeDirs(path.substr(0, path.rfind('/')), true);
    std::ofstream out(path, std::ios::binary);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush())
      return false;
  }
  return true;
}

// Only the current archive's folder is kept: the folders of earlier archives, and any that a
// crash left half-filled, go.
void RemoveOthers(const std::string& base, const std::string& keep) {
  for (const std::string& name : platform::ListFolder(base)) {
    if (name.rfind(kFolderPrefix, 0) == 0 && name != keep)
      platform::RemoveTree(PathJoin(base, name));
  }
}

}  // namespace

bool IsImageEntry(const std::string& name) {
  // Entry names come from the archive: one that would lead out of the folder is no image.
  if (name.empty() || name[0] == '/' || HasDotStep(name)) return false;
  return !EndsWith(name, ".xml") && !EndsWith(name, ".css");
}

std::string CachedImageFolder(const ResourceArchive& archive, const std::string& archivePath,
                              std::string* error) {
  std::string sha256;
  std::uint64_t size = 0;
  std::string base = CacheHome() + "/lum";
  if (!platform::HashFile(archivePath, &sha256, &size) || !platform::MakeDirs(base, true)) {
    *error = "cannot make a folder for the skin images in " + base;
    return {};
  }
  std::string name = kFolderPrefix + sha256.substr(0, 16);
  std::string folder = PathJoin(base, name);
  if (platform::IsDirectory(folder)) return folder;

  std::string pattern = platform::MakeUniqueDir(folder + ".");
  if (pattern.empty()) {
    *error = "cannot make a folder for the skin images in " + base;
    return {};
  }
  if (!WriteImages(archive, pattern) || std::rename(pattern.c_str(), folder.c_str()) != 0) {
    platform::RemoveTree(pattern);
    if (!platform::IsDirectory(folder)) {
      *error = "cannot write the skin images to " + folder;
      return {};
    }
  }
  RemoveOthers(base, name);
  return folder;
}

}  // namespace lumo::toolkit
