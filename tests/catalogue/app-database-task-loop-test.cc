#include "catalogue/app-database-task-loop.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <future>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "platform/ui-loop.h"
#include "tests/support/child.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WaitFor;
using test::WaitForLogLine;
using test::WriteFile;

// Resolves a promise when the worker reaches it: every task posted before has run.
class BarrierTask : public AppDatabaseTask {
 public:
  void run(CatalogueConnection&) override { done.set_value(); }
  std::promise<void> done;
};

AppItemInfo Game(const std::string& package, int status = kStatusQueued) {
  AppItemInfo record;
  record.packageName = package;
  record.appName = "Tom's Game 开始游戏";
  record.imageUrl = "http://127.0.0.1/icons/" + package + ".png";
  record.imagePath = "/data/icons/" + package + ".png";
  record.status = status;
  record.detailUrl = "http://127.0.0.1/app/detail.html?packagename=" + package;
  record.apkUrl = "http://127.0.0.1/apk/" + package + ".apk";
  record.launchActivity = package + ".MainActivity";
  record.downloadPos = 42;
  return record;
}

// A catalogue with its own worker, and a UI-thread window that collects loaded rows.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::StartLogCapture();
    platform::MarkUiThread();
    window_ =
        platform::CreateMessageWindow("Catalogue", "test", [](auto, auto, auto) { return false; });
    Dispatcher::instance()->Register(
        MSG_APP_LOADED, window_, [this](auto& record) { loaded_.push_back(std::move(record)); });
    loop_ = AppDatabaseTaskLoop::Create();
    loop_->start();
  }

  void TearDown() override {
    Drain();
    loop_->stopAndJoin();
    Dispatcher::instance()->Unregister(MSG_APP_LOADED, window_);
    platform::DestroyMessageWindow(window_);
  }

  void Open() { loop_->post(std::make_shared<CreateDatabaseTask>(path_)); }
  void Insert(const AppItemInfo& r) {
    loop_->post(std::make_shared<InsertAppTask>(std::make_shared<AppItemInfo>(r)));
  }
  void Update(const AppItemInfo& r) {
    loop_->post(std::make_shared<UpdateAppTask>(std::make_shared<AppItemInfo>(r)));
  }

  // Waits for every posted task, running the UI loop so row deliveries get through.
  void Drain() {
    auto barrier = std::make_shared<BarrierTask>();
    auto done = barrier->done.get_future();
    loop_->post(barrier);
    ASSERT_TRUE(
        WaitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                std::chrono::seconds(30), true));
  }

  std::vector<AppItemInfo> SelectAll() {
    loaded_.clear();
    loop_->post(std::make_shared<SelectAllAppTask>());
    Drain();
    std::vector<AppItemInfo> rows;
    for (auto& record : loaded_) rows.push_back(*record);
    return rows;
  }

  std::string Schema() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "select sql from sqlite_master where name='AppList'", -1, &statement,
                       nullptr);
    std::string sql;
    if (sqlite3_step(statement) == SQLITE_ROW)
      sql = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return sql;
  }

  TempDir dir_;
  std::string path_ = dir_ / "data.db";
  WindowHandle window_ = 0;
  std::shared_ptr<AppDatabaseTaskLoop> loop_;
  std::vector<std::unique_ptr<AppItemInfo>> loaded_;
};

TEST_F(CatalogueTest, ATaskWritesItsSnapshotNotTheLiveRecordAndADuplicateInsertIsRefused) {
  Open();
  auto live = std::make_shared<AppItemInfo>(Game("com.example.snapshot"));
  Insert(*live);
  auto snapshot = std::make_shared<AppItemInfo>(*live);
  snapshot->status = kStatusInstalled;
  loop_->post(std::make_shared<UpdateAppTask>(snapshot));
  live->status = kStatusInstallFailed;  // the UI changes its record after posting
  live->appName = "changed";
  std::vector<AppItemInfo> rows = SelectAll();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, kStatusInstalled);
  EXPECT_EQ(rows[0].appName, "Tom's Game 开始游戏");

  // A duplicate insert is logged and keeps the stored row.
  Insert(Game("com.example.snapshot", kStatusQueued));
  rows = SelectAll();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, kStatusInstalled);
  EXPECT_TRUE(WaitForLogLine("insert new app failed. code:19, msg:UNIQUE constraint failed"));
}

TEST_F(CatalogueTest, StoppingWritesEveryTaskPostedBeforeTheStopAndNoneAfter) {
  Open();
  AppItemInfo game = Game("com.example.last");
  Insert(game);
  // Posted without a pause: the stop finds them queued.
  for (game.downloadPos = 0; game.downloadPos < 500; ++game.downloadPos) Update(game);
  game.status = kStatusInstalled;
  Update(game);
  loop_->stopAndJoin();
  loop_->post(std::make_shared<DeleteAppTask>(game.packageName));

  // The file as the next start reads it, through a worker of its own.
  loop_ = AppDatabaseTaskLoop::Create();
  loop_->start();
  Open();
  std::vector<AppItemInfo> rows = SelectAll();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], game);
}

TEST_F(CatalogueTest, AnEarlierRunsFileAndForeignRowsAreReadAsTheyAre) {
  // A database left by an earlier run, with rows this program did not write.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  const char* setup =
      "Create Table AppList (packageName varchar(255), appName varchar(255), imageUrl "
      "varchar(2048), imagePath varchar(255), status int, detailUrl varchar(2048), apkUrl "
      "varchar(2048), localPath varchar(255), launchActivity varchar(255), downloadPos int "
      "default 0, PRIMARY KEY(packageName));"
      "insert into AppList values('com.old.one','Old','u','p',6,'d','a','l','act',100);"
      "insert into AppList values('com.old.nulls',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL);"
      "insert into AppList values('com.old.words','W','','', 'abc','','','','','xyz');";
  ASSERT_EQ(sqlite3_exec(db, setup, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::string schemaBefore = Schema();

  Open();
  std::vector<AppItemInfo> rows = SelectAll();
  EXPECT_EQ(Schema(), schemaBefore);  // never re-created or altered
  ASSERT_EQ(rows.size(), 3u);
  std::map<std::string, AppItemInfo> byName;
  for (auto& row : rows) byName[row.packageName] = row;
  EXPECT_EQ(byName["com.old.one"].status, kStatusInstalled);
  EXPECT_EQ(byName["com.old.one"].downloadPos, 100);
  EXPECT_EQ(byName["com.old.one"].launchActivity, "act");
  AppItemInfo empty;
  empty.packageName = "com.old.nulls";
  EXPECT_EQ(byName["com.old.nulls"], empty);
  EXPECT_EQ(byName["com.old.words"].status, 0);
  EXPECT_EQ(byName["com.old.words"].downloadPos, 0);
}

// Whatever is wrong with the file, it is kept byte for byte beside a new catalogue.
TEST_F(CatalogueTest, ADamagedFileIsSetAsideAndANewCatalogueStarts) {
  // Opening another file lets go of data.db, with its journal checkpointed into it.
  auto release = [&] {
    loop_->post(std::make_shared<CreateDatabaseTask>(dir_ / "other.db"));
    Drain();
  };
  Open();
  for (int i = 0; i < 300; ++i) Insert(Game("com.example.g" + std::to_string(i)));
  release();
  std::string good = ReadFile(path_);
  std::string pageHit = good;
  for (std::size_t i = 4096 * 3; i < 4096 * 3 + 64; ++i) pageHit[i] = 'X';
  const std::string damaged[] = {std::string(5000, 'G'), good.substr(0, good.size() / 2), pageHit};
  std::vector<std::string> kept;
  for (const std::string& bytes : damaged) {
    WriteFile(path_, bytes);
    Open();
    Insert(Game("com.example.any"));
    std::vector<AppItemInfo> rows = SelectAll();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].packageName, "com.example.any");
    release();
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    std::string name = entry.path().filename().string();  // journals end in "-wal", "-shm"
    if (name.rfind("data.db.damaged-", 0) == 0 && std::isdigit(name.back()))
      kept.push_back(ReadFile(entry.path().string()));
  }
  std::sort(kept.begin(), kept.end());
  std::vector<std::string> expected(std::begin(damaged), std::end(damaged));
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(kept == expected);
  EXPECT_TRUE(WaitForLogLine("catalogue " + path_ + " cannot be read ("));
}

// Child processes start workers of their own, which the thread checker does not support after
// a fork in a threaded program.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_THREAD_CHECKER() GTEST_SKIP() << "fork with threads under ThreadSanitizer"
#else
#define SKIP_UNDER_THREAD_CHECKER() (void)0
#endif

using test::InChild;

int CountRows(const std::string& path, std::string* check = nullptr) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  int rows = -1;
  sqlite3_exec(
      db, "select count(*) from AppList",
      [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = atoi(values[0]);
        return 0;
      },
      &rows, nullptr);
  if (check) {
    sqlite3_exec(
        db, "pragma integrity_check",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) += values[0];
          return 0;
        },
        check, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

// What a child process does: open the catalogue with a worker of its own and insert a row.
void InsertWithOwnWorker(const std::string& path, const AppItemInfo& record) {
  auto loop = AppDatabaseTaskLoop::Create();
  loop->start();
  loop->post(std::make_shared<CreateDatabaseTask>(path));
  loop->post(std::make_shared<InsertAppTask>(std::make_shared<AppItemInfo>(record)));
  loop->stopAndJoin();
}

TEST_F(CatalogueTest, AReadOnlyOrFullDatabaseLogsAndKeepsWhatWasSaved) {
  SKIP_UNDER_THREAD_CHECKER();
  Open();
  Insert(Game("com.example.saved", kStatusInstalled));
  Drain();
  std::string logPath = dir_ / "child.log";

  // Read-only: a user who may not write the file (root may write anything, so drop to nobody).
  chmod(dir_.path().c_str(), 0755);
  chmod(path_.c_str(), 0644);
  int status = InChild([&] {
    if (geteuid() == 0) {
      passwd* nobody = getpwnam("nobody");
      if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) return 90;
    } else {
      chmod(path_.c_str(), 0444);
    }
    InsertWithOwnWorker(path_, Game("com.new"));
    return 0;
  });
  chmod(path_.c_str(), 0644);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CountRows(path_), 1);

  // Full: the file may not grow past a limit, as on a full disk.
  status = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct stat info {};
    stat(path_.c_str(), &info);
    rlimit limit{static_cast<rlim_t>(info.st_size) + 64 * 1024,
                 static_cast<rlim_t>(info.st_size) + 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    AppItemInfo huge = Game("com.example.huge");
    huge.detailUrl = std::string(4 << 20, 'h');
    InsertWithOwnWorker(path_, huge);
    return 0;
  });
  EXPECT_EQ(status, 0);
  std::string check;
  EXPECT_EQ(CountRows(path_, &check), 1);
  EXPECT_EQ(check, "ok");
}

TEST_F(CatalogueTest, AWriterKilledMidWriteNeverLeavesAHalfWrittenRow) {
  SKIP_UNDER_THREAD_CHECKER();
  Open();
  Drain();
  pid_t pid = fork();
  if (pid == 0) {
    auto loop = AppDatabaseTaskLoop::Create();
    loop->start();
    loop->post(std::make_shared<CreateDatabaseTask>(path_));
    for (int i = 0;; ++i) {
      AppItemInfo record = Game("com.example.n" + std::to_string(i));
      record.detailUrl = std::string(10000 + i % 5000, 'a' + i % 26);
      record.downloadPos = i;
      loop->post(std::make_shared<InsertAppTask>(std::make_shared<AppItemInfo>(record)));
      if (i % 64 == 0)
        loop->post(std::make_shared<UpdateAppTask>(
            std::make_shared<AppItemInfo>(Game("com.example.n0", i % 7))));
      if (i % 256 == 255) usleep(1000);  // let the queue drain a little
    }
  }
  ASSERT_TRUE(WaitFor([&] { return CountRows(path_) > 200; }, std::chrono::seconds(60)));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);

  std::string check;
  int rows = CountRows(path_, &check);
  EXPECT_EQ(check, "ok");
  EXPECT_GT(rows, 200);
  std::vector<AppItemInfo> loaded = SelectAll();
  ASSERT_EQ(static_cast<int>(loaded.size()), rows);
  for (const AppItemInfo& record : loaded) {
    if (record.packageName == "com.example.n0") continue;
    int i = record.downloadPos;
    ASSERT_EQ(record.packageName, "com.example.n" + std::to_string(i));
    ASSERT_EQ(record.detailUrl, std::string(10000 + i % 5000, 'a' + i % 26));
    ASSERT_EQ(record.launchActivity, record.packageName + ".MainActivity");
  }
}

}  // namespace
}  // namespace lumo
