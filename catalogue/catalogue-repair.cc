#include "catalogue/catalogue-repair.h"

#include <cstdio>
#include <ctime>

#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "platform/file-system.h"

namespace lumo {

namespace {

// Touched only on the catalogue worker thread.
std::string& LastSetAside() {
  static std::string path;
  return path;
}

std::string DamagedName(const std::string& path) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof(stamp), ".damaged-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string name = path + stamp;
  // A second damaged file within the same second never replaces the first.
  for (int n = 2; platform::PathExists(name); ++n) name = path + stamp + "-" + std::to_string(n);
  return name;
}

}  // namespace

bool CatalogueIsReadable(sqlite3* db, std::string* why) {
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &statement, nullptr);
  if (code == SQLITE_OK) code = sqlite3_step(statement);
  std::string result;
  if (code == SQLITE_ROW && sqlite3_column_text(statement, 0))
    result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  // Only damage counts: a file held by another process or a failing disk is no reason to
  // move the catalogue aside.
  bool damaged = (code == SQLITE_ROW && result != "ok") || (code & 0xff) == SQLITE_NOTADB ||
                 (code & 0xff) == SQLITE_CORRUPT;
  if (damaged) *why = code == SQLITE_ROW ? result : sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  return !damaged;
}

std::string SetDamagedCatalogueAside(const std::string& path) {
  std::string aside = DamagedName(path);
  if (std::rename(path.c_str(), aside.c_str()) != 0) return {};
  // The journal files belong to the damaged file: they travel with it, under the names
  // SQLite would give them there.
  for (const char* suffix : {"-wal", "-shm", "-journal"})
    std::rename((path + suffix).c_str(), (aside + suffix).c_str());
  LastSetAside() = aside;
  return aside;
}

void ReportSetAsideCatalogueTask::run(CatalogueConnection&) {
  if (LastSetAside().empty()) return;
  std::string path = std::move(LastSetAside());
  LastSetAside().clear();
  Dispatcher::instance()->Send(MSG_CATALOGUE_SET_ASIDE, path);
}

}  // namespace lumo
