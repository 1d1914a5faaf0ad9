#include "catalogue/app-database-task-loop.h"

#include <cstdlib>
#include <vector>

#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/scope-guard.h"
#include "app/strings.h"
#include "app/thread-guard.h"
#include "catalogue/catalogue-repair.h"

namespace lumo {

namespace {

// The create and update statements keep their whitespace runs: SQLite stores the create
// text in its schema as written.
constexpr char kCreateTable[] =
    "Create Table AppList (packageName varchar(255), appName varchar(255), imageUrl "
    "varchar(2048), \t\t\t\t  \t\t\t\t\t\t\t\t imagePath varchar(255), status int, detailUrl "
    "varchar(2048), apkUrl varchar(2048), localPath varchar(255), launchActivity varchar(255), "
    "downloadPos int default 0, PRIMARY KEY(packageName))";
constexpr char kInsert[] = "INSERT INTO AppList VALUES(%Q, %Q, %Q, %Q, %d, %Q, %Q, %Q, %Q, %d)";
constexpr char kUpdate[] =
    "Update AppList SET appName=%Q, imageUrl=%Q, imagePath=%Q, \t\t\t\t\t\t\t\t "
    "\t\t\t\t\t\t\t\t status=%d, detailUrl=%Q, apkUrl=%Q, localPath=%Q, launchActivity=%Q, "
    "downloadPos=%d where packageName=%Q";
constexpr char kDelete[] = "delete from AppList where packageName=%Q";
constexpr char kSelectAll[] = "select * from AppList";

// Runs `sql` (made by sqlite3_mprintf, freed here); on failure logs `failure` with SQLite's
// primary code and message.
void Execute(sqlite3* db, char* sql, const char* failure,
             int (*callback)(void*, int, char**, char**) = nullptr, void* context = nullptr) {
  ScopeGuard freeSql([sql] { sqlite3_free(sql); });
  if (!sql) {
    Log::instance()->write(failure, SQLITE_NOMEM, "out of memory");
    return;
  }
  char* message = nullptr;
  int code = sqlite3_exec(db, sql, callback, context, &message);
  if (code != SQLITE_OK) {
    Log::instance()->write(failure, code & 0xff, message ? message : sqlite3_errstr(code));
    sqlite3_free(message);
  }
}

// Rows this program did not write may hold NULL or words where numbers belong: they read as
// empty text and 0.
std::string Text(char** values, int column) {
  return values[column] ? values[column] : "";
}

int Number(char** values, int column) {
  if (!values[column]) return 0;
  return static_cast<int>(std::strtol(values[column], nullptr, 10));
}

// Rows per hand-over to the UI thread: large enough that the hand-overs cost nothing next to
// the rows, small enough that the first rows arrive at once.
constexpr size_t kRowsPerBatch = 256;

using Rows = std::vector<std::unique_ptr<AppItemInfo>>;

void Deliver(Rows* rows) {
  if (!rows->empty()) Dispatcher::instance()->SendOwnedBatch(MSG_APP_LOADED, std::move(*rows));
  rows->clear();
}

int CollectRow(void* context, int columns, char** values, char**) {
  if (columns < 10) return 0;
  auto record = std::make_unique<AppItemInfo>();
  record->packageName = Text(values, 0);
  record->appName = Text(values, 1);
  record->imageUrl = Text(values, 2);
  record->imagePath = Text(values, 3);
  record->status = Number(values, 4);
  record->detailUrl = Text(values, 5);
  record->apkUrl = Text(values, 6);
  record->localPath = Text(values, 7);
  record->launchActivity = Text(values, 8);
  record->downloadPos = Number(values, 9);
  auto* rows = static_cast<Rows*>(context);
  rows->push_back(std::move(record));
  if (rows->size() >= kRowsPerBatch) Deliver(rows);
  return 0;
}

// Rollback-safe and cheap: WAL keeps a killed writer from leaving a torn row, and NORMAL
// syncs at checkpoints rather than on every one of the once-a-second progress updates.
void Tune(sqlite3* db) {
  sqlite3_busy_timeout(db, 2000);
  char* message = nullptr;
  if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                   &message) != SQLITE_OK) {
    Log::instance()->write("sqlite3 journal setup failed. msg:%s", message ? message : "");
    sqlite3_free(message);
  }
}

bool Open(CatalogueConnection& connection, const std::string& path) {
  int code = sqlite3_open16(Utf8ToUtf16(path).c_str(), &connection.db);
  if (code != SQLITE_OK)
    Log::instance()->write(L"open sqlite3 failed. code:%d, path:%s", code, path.c_str());
  return code == SQLITE_OK;
}

// A file that cannot be read whole is moved aside, never deleted, and a new catalogue starts
// in its place; the user is told through ReportSetAsideCatalogueTask.
bool OpenCatalogue(CatalogueConnection& connection, const std::string& path) {
  std::string why;
  if (!Open(connection, path)) return false;
  if (CatalogueIsReadable(connection.db, &why)) return true;
  // A checkpoint on close would write the journal's pages into the damaged file: it is kept
  // as it was, its journal beside it.
  sqlite3_db_config(connection.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close_v2(connection.db);
  connection.db = nullptr;
  std::string aside = SetDamagedCatalogueAside(path);
  if (aside.empty()) aside = "nothing: it could not be moved";
  Log::instance()->write("catalogue %s cannot be read (%s); set aside as %s", path.c_str(),
                         why.c_str(), aside.c_str());
  return Open(connection, path);
}

}  // namespace

CatalogueConnection::~CatalogueConnection() {
  if (db) sqlite3_close_v2(db);
}

void CreateDatabaseTask::run(CatalogueConnection& connection) {
  if (connection.db) {
    sqlite3_close_v2(connection.db);
    connection.db = nullptr;
  }
  if (!OpenCatalogue(connection, path_)) return;
  char* query =
      sqlite3_mprintf("select * from sqlite_master where type=%Q and name=%Q", "table", "AppList");
  ScopeGuard freeQuery([query] { sqlite3_free(query); });
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(connection.db, query, -1, &statement, nullptr);
  if (code != SQLITE_OK) {
    // Unreadable even after a damaged file was set aside: leave the file as it is.
    Log::instance()->write("check table AppList failed. code:%d, msg:%s", code & 0xff,
                           sqlite3_errmsg(connection.db));
    sqlite3_finalize(statement);
    return;
  }
  if (sqlite3_step(statement) != SQLITE_ROW) {
    char* message = nullptr;
    code = sqlite3_exec(connection.db, kCreateTable, nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
      Log::instance()->write("Create Table AppList failed. code:%d, msg:%s", code & 0xff,
                             message ? message : sqlite3_errstr(code));
      sqlite3_free(message);
    }
  }
  sqlite3_finalize(statement);
  Tune(connection.db);
}

void InsertAppTask::run(CatalogueConnection& connection) {
  const AppItemInfo& r = *record_;
  Execute(connection.db,
          sqlite3_mprintf(kInsert, r.packageName.c_str(), r.appName.c_str(), r.imageUrl.c_str(),
                          r.imagePath.c_str(), r.status, r.detailUrl.c_str(), r.apkUrl.c_str(),
                          r.localPath.c_str(), r.launchActivity.c_str(), r.downloadPos),
          "insert new app failed. code:%d, msg:%s");
}

void UpdateAppTask::run(CatalogueConnection& connection) {
  const AppItemInfo& r = *record_;
  Execute(connection.db,
          sqlite3_mprintf(kUpdate, r.appName.c_str(), r.imageUrl.c_str(), r.imagePath.c_str(),
                          r.status, r.detailUrl.c_str(), r.apkUrl.c_str(), r.localPath.c_str(),
                          r.launchActivity.c_str(), r.downloadPos, r.packageName.c_str()),
          "update item of AppList failed. code:%d, msg:%s");
}

void DeleteAppTask::run(CatalogueConnection& connection) {
  Execute(connection.db, sqlite3_mprintf(kDelete, packageName_.c_str()),
          "delete item of AppList failed. code:%d, msg:%s");
}

void SelectAllAppTask::run(CatalogueConnection& connection) {
  Rows rows;
  Execute(connection.db, sqlite3_mprintf("%s", kSelectAll),
          "select all app failed. code:%d, msg:%s", CollectRow, &rows);
  Deliver(&rows);
}

std::shared_ptr<AppDatabaseTaskLoop> AppDatabaseTaskLoop::Create() {
  return std::shared_ptr<AppDatabaseTaskLoop>(new AppDatabaseTaskLoop);
}

AppDatabaseTaskLoop::~AppDatabaseTaskLoop() {
  stopAndJoin();
}

void AppDatabaseTaskLoop::start() {
  if (worker_.joinable()) return;
  worker_ = std::thread(Guarded("catalogue", [this] { run(); }));
}

void AppDatabaseTaskLoop::post(std::shared_ptr<AppDatabaseTask> task) {
  if (task) queue_.push(std::move(task));
}

void AppDatabaseTaskLoop::stopAndJoin() {
  if (!worker_.joinable()) return;
  queue_.push(nullptr);  // the worker ends when it reaches this
  worker_.join();
}

// The worker thread.
void AppDatabaseTaskLoop::run() {
  {
    CatalogueConnection connection;
    while (std::shared_ptr<AppDatabaseTask> task = queue_.pop()) task->run(connection);
  }
  Log::instance()->write("catalogue closed.");
}

void PostCreateDatabase(AppDatabaseTaskLoop& loop, const std::string& path) {
  loop.post(std::make_shared<CreateDatabaseTask>(path));
}

void PostInsertApp(AppDatabaseTaskLoop& loop, std::shared_ptr<AppItemInfo> record) {
  loop.post(std::make_shared<InsertAppTask>(std::move(record)));
}

void PostUpdateApp(AppDatabaseTaskLoop& loop, std::shared_ptr<AppItemInfo> record) {
  loop.post(std::make_shared<UpdateAppTask>(std::move(record)));
}

void PostDeleteApp(AppDatabaseTaskLoop& loop, const std::string& packageName) {
  loop.post(std::make_shared<DeleteAppTask>(packageName));
}

}  // namespace lumo
