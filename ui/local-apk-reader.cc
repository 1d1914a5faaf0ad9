#include "ui/local-apk-reader.h"

#include <cstdio>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"

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

AppItemInfo LocalApkRecord(const std::string& path, const std::string& searchUrl) {
  AppItemInfo record;
  record.localPath = path;
  record.status = kStatusWaitingInstall;
  // SEAM: the APK badging reader and icon extraction (apk/) fill packageName, appName,
  // launchActivity and imagePath here once they are merged; until then a picked file yields
  // a record without a package name, which the main window refuses.
  Log::instance()->write("APK inspection is not available yet: %s", path.c_str());
  record.detailUrl = DetailUrlFor(searchUrl, record.packageName);
  return record;
}

void ReadLocalApks(const std::vector<std::string>& paths, const std::string& searchUrl) {
  for (const std::string& path : paths) {
    auto* record = new AppItemInfo(LocalApkRecord(path, searchUrl));
    // The main window takes ownership of the record when it handles the message.
    Dispatcher::instance()->Send(MSG_LOCAL_APK_READY, reinterpret_cast<WParam>(record), 0);
  }
}

}  // namespace lumo
