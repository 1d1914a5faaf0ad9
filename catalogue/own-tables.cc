#include "catalogue/own-tables.h"

#include "app/log.h"

namespace lumo {

bool RunInOwnTable(sqlite3* db, const char* create, char* sql, const char* what) {
  char* message = nullptr;
  int code = db ? sqlite3_exec(db, create, nullptr, nullptr, &message) : SQLITE_MISUSE;
  if (code == SQLITE_OK && sql) code = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  if (code != SQLITE_OK)
    Log::instance()->write("%s failed. code:%d, msg:%s", what, code & 0xff,
                           message ? message : sqlite3_errstr(code));
  sqlite3_free(message);
  sqlite3_free(sql);
  return code == SQLITE_OK;
}

}  // namespace lumo
