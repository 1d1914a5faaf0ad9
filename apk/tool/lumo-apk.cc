// lumo-apk: shows what Lumo reads out of an APK and, given a folder, extracts its icon there.
//
//   lumo-apk <file.apk|file.xapk|file.apks> [icons-folder]
//
// Exit status: 0 when the package name was found (and, with a folder, the icon written),
// 1 when it was not or the icon could not be extracted, 2 on a usage error.

#include <cstdio>
#include <string>

#include "apk/apk-badging.h"
#include "apk/package-reader.h"
#include "app/log.h"
#include "platform/file-system.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: lumo-apk <file.apk> [icons-folder]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return Usage();
  const std::string folder = argc == 3 ? argv[2] : "";
  if (!folder.empty() && !lumo::platform::MakeDirs(folder)) {
    std::fprintf(stderr, "lumo-apk: cannot create %s\n", folder.c_str());
    return 1;
  }
  lumo::ApkBadging info = lumo::ReadPackageFile(argv[1], folder);
  std::printf("package: %s\nlabel: %s\nlaunch-activity: %s\nicon-entry: %s\n",
              info.packageName.c_str(), info.label.c_str(), info.launchActivity.c_str(),
              info.iconEntry.c_str());
  int status = 0;
  if (info.packageName.empty()) {
    std::fprintf(stderr, "lumo-apk: no package name found in %s (aapt: %s)\n", argv[1],
                 lumo::AaptPath().c_str());
    status = 1;
  }
  if (!folder.empty()) {
    if (!info.iconPath.empty()) {
      std::printf("icon: %s\n", info.iconPath.c_str());
    } else {
      std::fprintf(stderr, "lumo-apk: no icon extracted\n");
      status = 1;
    }
  }
  std::fflush(stdout);
  return status;
}
