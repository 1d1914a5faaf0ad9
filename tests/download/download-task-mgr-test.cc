#include "download/download-task-mgr.h"

#include <thread>

#include <glib.h>
#include <gtest/gtest.h>

#include "app/messages.h"
#include "download/thunder-wrapper.h"
#include "tests/download/engine-helper.h"
#include "tests/download/report-window.h"
#include "tests/support/http-server.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

using test::HttpServer;
using test::ReadFile;
using test::ReportWindow;
using test::TempDir;
using test::WaitFor;

class DownloadTaskMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::StartLogCapture();
    engine = test::LoadEngine();
    manager = DownloadTaskMgr::Create(engine);
    ASSERT_TRUE(manager->available());
  }
  // The polling thread lets the manager go within about a second of stopAll.
  void TearDown() override { EXPECT_TRUE(test::ReleaseManager(&manager, &engine)); }
  std::shared_ptr<DownloadTask> Task(const std::string& key, const std::string& path) {
    return std::make_shared<DownloadTask>(key, server.Url(path), dir.path(), key + ".apk");
  }

  TempDir dir;
  HttpServer server;
  ReportWindow window;
  std::shared_ptr<ThunderWrapper> engine;
  std::shared_ptr<DownloadTaskMgr> manager;
};

TEST_F(DownloadTaskMgrTest, SixthStartWaitsForAFreeSlotFirstInFirstOut) {
  std::string body = test::PatternBytes(1024 * 1024 + 3);
  for (int i = 1; i <= 7; ++i) {
    HttpServer::File file;
    file.pattern = std::make_shared<const std::string>(body);
    file.size = body.size();
    file.held = true;
    server.AddFile("/g" + std::to_string(i), file);
    ASSERT_TRUE(manager->addTask(Task("g" + std::to_string(i), "/g" + std::to_string(i))));
  }
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(manager->startTask("g" + std::to_string(i)));
  EXPECT_FALSE(manager->startTask("g6"));
  EXPECT_FALSE(manager->startTask("g7"));
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_PROGRESS.id, "g" + std::to_string(i)));
  }
  // Stopping a waiting task leaves it waiting.
  EXPECT_TRUE(manager->stopTask("g6"));
  EXPECT_EQ(server.Requests("/g6") + server.Requests("/g7"), 0);

  // Pausing one frees a slot: the first in the queue takes it, the second still waits.
  EXPECT_TRUE(manager->stopTask("g1"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_PROGRESS.id, "g6"));
  EXPECT_EQ(server.Requests("/g7"), 0);
  EXPECT_TRUE(window.Of(MSG_DOWNLOAD_PROGRESS.id, "g7").empty());

  server.Release();
  for (int i = 2; i <= 7; ++i) {
    ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_DONE.id, "g" + std::to_string(i)));
  }
  EXPECT_TRUE(window.Of(MSG_DOWNLOAD_DONE.id, "g1").empty());
  // The paused task resumes on start and completes too.
  EXPECT_TRUE(manager->startTask("g1"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_DONE.id, "g1"));
  for (int i = 1; i <= 7; ++i) {
    EXPECT_TRUE(ReadFile(dir / ("g" + std::to_string(i) + ".apk")) == body) << i;
  }
}

TEST_F(DownloadTaskMgrTest, FailureIsReportedLoggedAndRetriedOnStart) {
  ASSERT_TRUE(manager->addTask(Task("com.late", "/late.apk")));
  ASSERT_TRUE(manager->addTask(Task("../escape", "/late.apk")));
  EXPECT_TRUE(manager->startTask("com.late"));
  EXPECT_TRUE(manager->startTask("../escape"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_FAILED.id, "com.late"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_FAILED.id, "../escape"));
  EXPECT_EQ(window.Of(MSG_DOWNLOAD_FAILED.id, "com.late")[0].code, 3);
  EXPECT_EQ(window.Of(MSG_DOWNLOAD_FAILED.id, "../escape")[0].code, 16);
  EXPECT_TRUE(test::WaitForLogLine("Download com.late failed. [err=3]"));

  // The same engine task runs again once the file is there.
  std::string body = test::PatternBytes(100000);
  server.AddFile("/late.apk", body);
  EXPECT_TRUE(manager->startTask("com.late"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_DONE.id, "com.late"));
  EXPECT_TRUE(ReadFile(dir / "com.late.apk") == body);
  EXPECT_EQ(window.Of(MSG_DOWNLOAD_FAILED.id, "com.late").size(), 1u);
  EXPECT_FALSE(test::FileExists(dir.path() + "/../escape.apk"));

  EXPECT_TRUE(manager->removeTask("../escape"));
  EXPECT_FALSE(manager->removeTask("../escape"));
  EXPECT_FALSE(manager->startTask("../escape"));
}

TEST_F(DownloadTaskMgrTest, EndsAreReportedWhenTheEngineAnnouncesThemNotAtTheNextRound) {
  // Progress rounds an hour apart: only the engine's announcements can bring the ends.
  ASSERT_TRUE(test::ReleaseManager(&manager, &engine));
  engine = test::LoadEngine();
  manager = DownloadTaskMgr::Create(engine, std::chrono::hours(1));
  server.AddFile("/a.apk", test::PatternBytes(2 * 1024 * 1024 + 1));
  ASSERT_TRUE(manager->addTask(Task("a", "/a.apk")));
  ASSERT_TRUE(manager->addTask(Task("b", "/missing.apk")));
  EXPECT_TRUE(manager->startTask("a"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_DONE.id, "a"));
  EXPECT_TRUE(manager->startTask("b"));
  ASSERT_TRUE(window.WaitFor(MSG_DOWNLOAD_FAILED.id, "b"));
  // Early rounds report ends only: a progress report can come from the first round alone.
  EXPECT_LE(window.Of(MSG_DOWNLOAD_PROGRESS.id).size(), 1u);
}

TEST_F(DownloadTaskMgrTest, StopAllReturnsWhileTheUiLoopIsNotServingReports) {
  HttpServer::File file;
  file.pattern = std::make_shared<const std::string>(test::PatternBytes(4 * 1024 * 1024));
  file.size = file.pattern->size();
  file.held = true;
  server.AddFile("/held.apk", file);
  ASSERT_TRUE(manager->addTask(Task("held", "/held.apk")));
  EXPECT_TRUE(manager->startTask("held"));
  // Nothing pumps the loop now: the polling thread's first report waits in its send.
  ASSERT_TRUE(WaitFor([&] { return server.Requests("/held.apk") > 0; }));
  ASSERT_TRUE(WaitFor([] { return g_main_context_pending(nullptr) != FALSE; }));
  manager->stopAll();
  EXPECT_TRUE(manager->stopTask("held"));
  server.Release();
}

}  // namespace
}  // namespace lumo
