// Stores, updates and loads 10,000 games through the catalogue worker, then runs the same
// statements through the sqlite3 shell on the same file, and prints rows per second for each
// and their ratio. Usage: catalogue-bench [rows]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <unistd.h>

#include <sqlite3.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "catalogue/app-database-task-loop.h"
#include "platform/ui-loop.h"
#include "platform/window.h"

namespace {

using lumo::AppItemInfo;
using Clock = std::chrono::steady_clock;

class Barrier : public lumo::AppDatabaseTask {
 public:
  void run(lumo::CatalogueConnection&) override { done.set_value(); }
  std::promise<void> done;
};

AppItemInfo Game(int i, int status) {
  AppItemInfo r;
  r.packageName = "com.bench.game" + std::to_string(i);
  r.appName = "Game " + std::to_string(i) + " 游戏";
  r.imageUrl = "http://127.0.0.1:18080/icons/" + r.packageName + ".png";
  r.imagePath = "/home/user/.local/share/lum/download/icons/" + r.packageName + ".png";
  r.status = status;
  r.detailUrl = "http://127.0.0.1:18080/app/detail.html?packagename=" + r.packageName;
  r.apkUrl = "http://127.0.0.1:18080/apk/" + r.packageName + ".apk";
  r.localPath = "/home/user/.local/share/lum/download/" + r.packageName + ".apk";
  r.launchActivity = r.packageName + ".MainActivity";
  r.downloadPos = i % 101;
  return r;
}

// Waits for the worker to reach this point, running the UI loop meanwhile.
void Drain(lumo::AppDatabaseTaskLoop& loop) {
  auto barrier = std::make_shared<Barrier>();
  auto done = barrier->done.get_future();
  loop.post(barrier);
  while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    lumo::platform::PumpUiLoop();
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The statement text the catalogue builds, for the shell to run.
std::string Sql(const char* format, const AppItemInfo& r, bool update) {
  char* sql =
      update ? sqlite3_mprintf(format, r.appName.c_str(), r.imageUrl.c_str(), r.imagePath.c_str(),
                               r.status, r.detailUrl.c_str(), r.apkUrl.c_str(), r.localPath.c_str(),
                               r.launchActivity.c_str(), r.downloadPos, r.packageName.c_str())
             : sqlite3_mprintf(format, r.packageName.c_str(), r.appName.c_str(), r.imageUrl.c_str(),
                               r.imagePath.c_str(), r.status, r.detailUrl.c_str(), r.apkUrl.c_str(),
                               r.localPath.c_str(), r.launchActivity.c_str(), r.downloadPos);
  std::string text = std::string(sql) + ";\n";
  sqlite3_free(sql);
  return text;
}

double Shell(const std::string& db, const std::string& script) {
  auto start = Clock::now();
  std::string command = "sqlite3 '" + db + "' < '" + script + "' > /dev/null";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "sqlite3 shell failed\n");
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  char folder[] = "/tmp/lumo-bench-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  std::string db = std::string(folder) + "/data.db";

  lumo::platform::MarkUiThread();
  int loaded = 0;
  // Rows reach the window's handler as calls; its procedure has nothing to serve.
  lumo::platform::WindowHandle window =
      lumo::platform::CreateMessageWindow("Bench", "bench", [](auto, auto, auto) { return false; });
  lumo::Dispatcher::instance()->Register(lumo::MSG_APP_LOADED, window, [&](auto& record) {
    record.reset();
    ++loaded;
  });

  auto loop = lumo::AppDatabaseTaskLoop::Create();
  loop->start();
  loop->post(std::make_shared<lumo::CreateDatabaseTask>(db));
  Drain(*loop);

  auto start = Clock::now();
  for (int i = 0; i < rows; ++i)
    loop->post(std::make_shared<lumo::InsertAppTask>(std::make_shared<AppItemInfo>(Game(i, 0))));
  Drain(*loop);
  double insert = Seconds(start);

  start = Clock::now();
  for (int i = 0; i < rows; ++i)
    loop->post(std::make_shared<lumo::UpdateAppTask>(std::make_shared<AppItemInfo>(Game(i, 6))));
  Drain(*loop);
  double update = Seconds(start);

  start = Clock::now();
  loop->post(std::make_shared<lumo::SelectAllAppTask>());
  Drain(*loop);
  double load = Seconds(start);
  loop->stopAndJoin();
  if (loaded != rows) std::fprintf(stderr, "loaded %d of %d rows\n", loaded, rows);

  // The shell runs the same statements on the same file, with the same journal settings.
  std::string inserts = std::string(folder) + "/insert.sql";
  std::string updates = std::string(folder) + "/update.sql";
  std::string select = std::string(folder) + "/select.sql";
  const char* pragmas = "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=NORMAL;\n";
  {
    std::ofstream in(inserts), up(updates), sel(select);
    in << pragmas << "delete from AppList;\n";
    up << pragmas;
    sel << pragmas << "select * from AppList;\n";
    for (int i = 0; i < rows; ++i) {
      in << Sql("INSERT INTO AppList VALUES(%Q, %Q, %Q, %Q, %d, %Q, %Q, %Q, %Q, %d)", Game(i, 0),
                false);
      up << Sql(
          "Update AppList SET appName=%Q, imageUrl=%Q, imagePath=%Q, status=%d, "
          "detailUrl=%Q, apkUrl=%Q, localPath=%Q, launchActivity=%Q, downloadPos=%d "
          "where packageName=%Q",
          Game(i, 6), true);
    }
  }
  double shellInsert = Shell(db, inserts);
  double shellUpdate = Shell(db, updates);
  double shellLoad = Shell(db, select);

  std::printf("%-8s %14s %14s %8s\n", "rows/s", "lumo", "sqlite3 shell", "ratio");
  auto line = [&](const char* name, double ours, double peer) {
    std::printf("%-8s %14.0f %14.0f %8.2f\n", name, rows / ours, rows / peer, peer / ours);
  };
  line("insert", insert, shellInsert);
  line("update", update, shellUpdate);
  line("load", load, shellLoad);
  std::string cleanup = std::string("rm -rf '") + folder + "'";
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
