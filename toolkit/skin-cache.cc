#include "toolkit/skin-cache.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <glib.h>
#include <glib/gstdio.h>

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

void RemoveTree(const std::string& path) {
  if (!g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK)) {
    if (GDir* dir = g_dir_open(path.c_str(), 0, nullptr)) {
      while (const char* name = g_dir_read_name(dir)) RemoveTree(PathJoin(path, name));
      g_dir_close(dir);
    }
  }
  g_remove(path.c_str());
}

bool WriteImages(const ResourceArchive& archive, const std::string& folder) {
  for (const std::string& name : archive.Names()) {
    if (!IsImageEntry(name)) continue;
    std::string bytes;
    archive.Read(name, &bytes);
    std::string path = PathJoin(folder, name);
    gchar* parent = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(parent, 0700);
    g_free(parent);
    std::ofstream out(path, std::ios::binary);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush())
      return false;
  }
  return true;
}

// Only the current archive's folder is kept: the folders of earlier archives, and any that a
// crash left half-filled, go.
void RemoveOthers(const std::string& base, const std::string& keep) {
  GDir* dir = g_dir_open(base.c_str(), 0, nullptr);
  if (!dir) return;
  while (const char* name = g_dir_read_name(dir)) {
    if (g_str_has_prefix(name, kFolderPrefix) && keep != name) RemoveTree(PathJoin(base, name));
  }
  g_dir_close(dir);
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
  if (!platform::HashFile(archivePath, &sha256, &size) ||
      g_mkdir_with_parents(base.c_str(), 0700) != 0) {
    *error = "cannot make a folder for the skin images in " + base;
    return {};
  }
  std::string name = kFolderPrefix + sha256.substr(0, 16);
  std::string folder = PathJoin(base, name);
  if (g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) return folder;

  std::string pattern = folder + ".XXXXXX";
  if (!g_mkdtemp_full(pattern.data(), 0700)) {
    *error = "cannot make a folder for the skin images in " + base;
    return {};
  }
  if (!WriteImages(archive, pattern) || std::rename(pattern.c_str(), folder.c_str()) != 0) {
    RemoveTree(pattern);
    if (!g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) {
      *error = "cannot write the skin images to " + folder;
      return {};
    }
  }
  RemoveOthers(base, name);
  return folder;
}

}  // namespace lumo::toolkit
