#include "download/thunder-wrapper.h"

#include <cstring>

#include <gtest/gtest.h>

#include "download/download-task-mgr.h"
#include "tests/download/engine-helper.h"
#include "tests/download/report-window.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

TEST(ThunderWrapper, AMissingLibraryLeavesDownloadsUnavailable) {
  std::string error;
  EXPECT_EQ(ThunderWrapper::load("/nonexistent/libxldl.so", &error), nullptr);
  EXPECT_EQ(error, "can not load xldl.dll");

  auto manager = DownloadTaskMgr::Create(std::shared_ptr<ThunderWrapper>());
  EXPECT_FALSE(manager->available());
  auto task = std::make_shared<DownloadTask>("k", "http://127.0.0.1:1/a", "/tmp", "a.apk");
  EXPECT_FALSE(manager->addTask(task));
  EXPECT_FALSE(manager->startTask("k"));
  EXPECT_TRUE(manager->stopTask("k"));
  EXPECT_FALSE(manager->removeTask("k"));
  manager->stopAll();
}

TEST(ThunderWrapper, AMissingExportTurnsItsCallIntoANoOp) {
  auto engine = ThunderWrapper::load(std::string(LUMO_TEST_BIN_DIR) + "/libxldl_partial.so");
  ASSERT_TRUE(engine);
  DownTaskInfo info;
  std::memset(&info, 0, sizeof(info));
  info.stat = kXlPaused;
  engine->QueryTaskInfo(nullptr, &info);
  EXPECT_EQ(info.stat, kXlPaused);

  // Through the manager: the start is refused and nothing is ever reported.
  test::ReportWindow window;
  auto manager = DownloadTaskMgr::Create(engine);
  auto task = std::make_shared<DownloadTask>("k", "http://127.0.0.1:1/a", "/tmp", "a.apk");
  EXPECT_TRUE(manager->addTask(task));
  EXPECT_NE(task->handle, nullptr);
  EXPECT_FALSE(manager->startTask("k"));
  test::WaitFor([] { return false; }, std::chrono::milliseconds(2500), true);
  EXPECT_TRUE(window.all().empty());
  task.reset();
  EXPECT_TRUE(test::ReleaseManager(&manager, &engine));
}

}  // namespace
}  // namespace lumo
