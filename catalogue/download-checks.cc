#include "catalogue/download-checks.h"

#include <cstdlib>
#include <memory>

#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "catalogue/own-tables.h"
#include "platform/file-system.h"

namespace lumo {

namespace {

constexpr char kCreateChecks[] =
    "create table if not exists AppCheck (packageName varchar(255) primary key, size integer, "
    "sha256 varchar(64))";

int AddRow(void* context, int columns, char** values, char**) {
  if (columns < 3 || !values[0]) return 0;
  DownloadCheck check;
  if (values[1]) check.size = std::strtoll(values[1], nullptr, 10);
  if (values[2]) check.sha256 = values[2];
  (*static_cast<DownloadChecks*>(context))[values[0]] = check;
  return 0;
}

}  // namespace

void SaveDownloadCheckTask::run(CatalogueConnection& connection) {
  RunInOwnTable(
      connection.db, kCreateChecks,
      sqlite3_mprintf("insert or replace into AppCheck values(%Q, %lld, %Q)", packageName_.c_str(),
                      static_cast<long long>(check_.size), check_.sha256.c_str()),
      "save download check");
}

void ForgetDownloadCheckTask::run(CatalogueConnection& connection) {
  RunInOwnTable(connection.db, kCreateChecks,
                sqlite3_mprintf("delete from AppCheck where packageName=%Q", packageName_.c_str()),
                "forget download check");
}

void LoadDownloadChecksTask::run(CatalogueConnection& connection) {
  auto checks = std::make_unique<DownloadChecks>();
  if (RunInOwnTable(connection.db, kCreateChecks, nullptr, "load download checks")) {
    char* message = nullptr;
    if (sqlite3_exec(connection.db, "select packageName, size, sha256 from AppCheck", AddRow,
                     checks.get(), &message) != SQLITE_OK)
      Log::instance()->write("load download checks failed: %s", message ? message : "");
    sqlite3_free(message);
  }
  Dispatcher::instance()->SendOwned(MSG_DOWNLOAD_CHECKS_LOADED, std::move(checks));
}

std::string VerifyDownload(const std::string& path, const DownloadCheck& check) {
  if (check.empty()) return {};
  std::string sha256;
  std::uint64_t size = 0;
  if (!platform::HashFile(path, &sha256, &size)) return "文件无法读取";
  if (check.size >= 0 && size != static_cast<std::uint64_t>(check.size)) return "文件大小不符";
  if (!check.sha256.empty() && sha256 != check.sha256) return "文件校验不符";
  return {};
}

}  // namespace lumo
