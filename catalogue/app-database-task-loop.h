#pragma once

#include <memory>
#include <string>
#include <thread>

#include "app/blocking-queue.h"
#include "catalogue/app-item-info.h"

struct sqlite3;

namespace lumo {

// The catalogue's one SQLite connection, held by the loop's worker thread for as long as it
// runs: only that thread opens, uses and closes it. Null before it is opened.
struct CatalogueConnection {
  CatalogueConnection() = default;
  CatalogueConnection(const CatalogueConnection&) = delete;
  CatalogueConnection& operator=(const CatalogueConnection&) = delete;
  ~CatalogueConnection();
  sqlite3* db = nullptr;
};

// A unit of catalogue work. run() is called on the catalogue worker thread with its
// connection.
class AppDatabaseTask {
 public:
  virtual ~AppDatabaseTask() = default;
  virtual void run(CatalogueConnection&) {}
};

// Opens data.db at `path` (creating it) and makes the AppList table when it is missing.
class CreateDatabaseTask : public AppDatabaseTask {
 public:
  explicit CreateDatabaseTask(std::string path) : path_(std::move(path)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string path_;
};

// Insert and update hold a snapshot taken by the poster: later changes of the live record
// on the UI thread never reach the worker.
class InsertAppTask : public AppDatabaseTask {
 public:
  explicit InsertAppTask(std::shared_ptr<AppItemInfo> record) : record_(std::move(record)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::shared_ptr<AppItemInfo> record_;
};

class UpdateAppTask : public AppDatabaseTask {
 public:
  explicit UpdateAppTask(std::shared_ptr<AppItemInfo> record) : record_(std::move(record)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::shared_ptr<AppItemInfo> record_;
};

class DeleteAppTask : public AppDatabaseTask {
 public:
  explicit DeleteAppTask(std::string packageName) : packageName_(std::move(packageName)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string packageName_;
};

// Hands every stored row, in table order, to the windows registered for MSG_APP_LOADED: each
// row is its own message with a new record whose ownership passes to the receiver. Rows go
// over in batches, one synchronous hand-over per batch, so a large catalogue costs the UI
// thread a few hand-overs rather than one per row.
class SelectAllAppTask : public AppDatabaseTask {
 public:
  void run(CatalogueConnection& connection) override;
};

// The catalogue worker: runs tasks one at a time in posting order, from start until
// stopAndJoin.
class AppDatabaseTaskLoop {
 public:
  // A loop with a connection of its own. The program's one is made by the run routine and
  // handed to the windows that post to it.
  static std::shared_ptr<AppDatabaseTaskLoop> Create();

  AppDatabaseTaskLoop(const AppDatabaseTaskLoop&) = delete;
  AppDatabaseTaskLoop& operator=(const AppDatabaseTaskLoop&) = delete;
  // Stops and joins the worker as stopAndJoin does.
  ~AppDatabaseTaskLoop();

  void start();
  // Any thread; returns at once.
  void post(std::shared_ptr<AppDatabaseTask> task);
  // The owner's thread: runs every task posted before, closes the connection and ends the
  // worker. A task that sends to a window waits for the UI thread, so the program calls it
  // once its windows are gone; what is posted afterwards never runs.
  void stopAndJoin();

 private:
  AppDatabaseTaskLoop() = default;
  void run();

  BlockingQueue<std::shared_ptr<AppDatabaseTask>> queue_;
  std::thread worker_;
};

// Posting helpers. Insert and update take a fresh copy that the caller made of the live record.
void PostCreateDatabase(AppDatabaseTaskLoop& loop, const std::string& path);
void PostInsertApp(AppDatabaseTaskLoop& loop, std::shared_ptr<AppItemInfo> record);
void PostUpdateApp(AppDatabaseTaskLoop& loop, std::shared_ptr<AppItemInfo> record);
void PostDeleteApp(AppDatabaseTaskLoop& loop, const std::string& packageName);

}  // namespace lumo
