#include "apk/package-reader.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "apk/apk-bundle.h"
#include "apk/apk-icon.h"
#include "app/log.h"

namespace lumo {

ApkBadging ReadPackageFile(const std::string& path, const std::string& iconsDir) {
  ApkBadging info;
  info.apkPath = path;
  std::string folder = (std::filesystem::temp_directory_path() / "lumo-bundle-XXXXXX").string();
  std::vector<std::string> parts;
  std::string error = "no private folder to unpack it in";
  bool bundle = IsBundlePath(path), made = bundle && mkdtemp(folder.data());
  if (made && UnpackBundle(path, folder, true, &parts, &error)) info.apkPath = parts.front();
  if (bundle && parts.empty()) {
    Log::instance()->write("%s is not a usable bundle: %s", path.c_str(), error.c_str());
  } else {
    ReadApkBadging(info);
    // Without a package name the icon would have no file name.
    if (!iconsDir.empty() && !info.packageName.empty() && !info.iconEntry.empty())
      ExtractApkIcon(info, iconsDir);
  }
  std::error_code ignored;
  if (made) std::filesystem::remove_all(folder, ignored);
  info.apkPath = path;
  return info;
}

}  // namespace lumo
