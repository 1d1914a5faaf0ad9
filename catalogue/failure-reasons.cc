#include "catalogue/failure-reasons.h"

#include <memory>

#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "catalogue/own-tables.h"

namespace lumo {

namespace {

constexpr char kCreateFailures[] =
    "create table if not exists AppFailure (packageName varchar(255) primary key, "
    "reason text, retryHelps integer)";
// A reason is a line of the detail panel; a longer one in the file is not Lumo's.
constexpr std::size_t kMaxReasonChars = 1024;

int AddRow(void* context, int columns, char** values, char**) {
  if (columns < 3 || !values[0] || !values[1]) return 0;
  std::string reason = values[1];
  if (reason.empty() || reason.size() > kMaxReasonChars) return 0;
  bool retryHelps = !values[2] || std::string(values[2]) != "0";
  (*static_cast<FailureReasons*>(context))[values[0]] = {std::move(reason), retryHelps};
  return 0;
}

}  // namespace

void SaveFailureTask::run(CatalogueConnection& connection) {
  RunInOwnTable(
      connection.db, kCreateFailures,
      sqlite3_mprintf("insert or replace into AppFailure values(%Q, %Q, %d)", packageName_.c_str(),
                      failure_.reason.c_str(), failure_.retryHelps ? 1 : 0),
      "save failure reason");
}

void ForgetFailureTask::run(CatalogueConnection& connection) {
  RunInOwnTable(
      connection.db, kCreateFailures,
      sqlite3_mprintf("delete from AppFailure where packageName=%Q", packageName_.c_str()),
      "forget failure reason");
}

void LoadFailuresTask::run(CatalogueConnection& connection) {
  auto failures = std::make_unique<FailureReasons>();
  if (RunInOwnTable(connection.db, kCreateFailures, nullptr, "load failure reasons")) {
    char* message = nullptr;
    if (sqlite3_exec(connection.db, "select packageName, reason, retryHelps from AppFailure",
                     AddRow, failures.get(), &message) != SQLITE_OK)
      Log::instance()->write("load failure reasons failed: %s", message ? message : "");
    sqlite3_free(message);
  }
  Dispatcher::instance()->SendOwned(MSG_FAILURES_LOADED, std::move(failures));
}

}  // namespace lumo
