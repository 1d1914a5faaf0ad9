#pragma once

#include <map>
#include <string>

#include "catalogue/app-database-task-loop.h"
#include "catalogue/download-request.h"

namespace lumo {

// The checks of the games being downloaded, by package name. They live in a table of their
// own beside AppList, "AppCheck", so that a restart still checks a resumed download.
using DownloadChecks = std::map<std::string, DownloadCheck>;

class SaveDownloadCheckTask : public AppDatabaseTask {
 public:
  SaveDownloadCheckTask(std::string packageName, DownloadCheck check)
      : packageName_(std::move(packageName)), check_(std::move(check)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string packageName_;
  DownloadCheck check_;
};

class ForgetDownloadCheckTask : public AppDatabaseTask {
 public:
  explicit ForgetDownloadCheckTask(std::string packageName)
      : packageName_(std::move(packageName)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string packageName_;
};

// Hands every stored check to the windows registered for MSG_DOWNLOAD_CHECKS_LOADED in one
// owned send. Posted before the games are loaded, so their checks are there first.
class LoadDownloadChecksTask : public AppDatabaseTask {
 public:
  void run(CatalogueConnection& connection) override;
};

// Any thread: whether the file is what the check says. Empty when it is (or nothing is
// checked); otherwise the reason, in the words the detail panel shows.
std::string VerifyDownload(const std::string& path, const DownloadCheck& check);

}  // namespace lumo
