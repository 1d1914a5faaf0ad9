#include "game/local-apk-reader.h"

#include <cstdio>

#include "apk/package-reader.h"
#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"

namespace lumo {

namespace {

// The detail page of a package: the pattern's "%s" filled, at most 1024 characters.
std::string DetailUrlFor(const std::string& searchUrl, const std::string& packageName) {
  std::string url = searchUrl;
  size_t at = url.find("%s");
  if (at != std::string::npos) url.replace(at, 2, packageName);
  if (url.size() > 1024) url.resize(1024);
  return url;
}

}  // namespace

LocalApk LocalApkRecord(const std::string& path, const std::string& searchUrl) {
  LocalApk local;
  AppItemInfo& record = local.record;
  // Without a package name the record still goes out; the window says why it is not added.
  ApkBadging info = ReadPackageFile(path, Settings::instance().iconsDir);
  record.packageName = info.packageName;
  record.appName = info.label;
  record.launchActivity = info.launchActivity;
  record.imagePath = info.iconPath;
  record.localPath = path;
  record.status = kStatusWaitingInstall;
  record.detailUrl = DetailUrlFor(searchUrl, record.packageName);
  local.nativeCode = std::move(info.nativeCode);
  return local;
}

void ReadLocalApks(const std::vector<std::string>& paths, const std::string& searchUrl) {
  for (const std::string& path : paths) {
    Dispatcher::instance()->SendOwned(MSG_LOCAL_APK_READY,
                                      std::make_unique<LocalApk>(LocalApkRecord(path, searchUrl)));
  }
}

}  // namespace lumo
