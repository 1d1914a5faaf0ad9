#include "download/small-file-downloader.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "app/messages.h"
#include "tests/download/engine-helper.h"
#include "tests/download/report-window.h"
#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using test::FileExists;
using test::HttpServer;
using test::TempDir;

TEST(SmallFileDownloader, EveryEndIsReportedExactlyOnce) {
  TempDir dir;
  HttpServer server;
  test::ReportWindow window;
  std::string icon = test::PatternBytes(20000);
  server.AddFile("/icon.png", icon);
  HttpServer::File held;
  held.pattern = std::make_shared<const std::string>(test::PatternBytes(100000));
  held.size = held.pattern->size();
  held.held = true;
  server.AddFile("/stuck.png", held);
  std::string dead = "http://127.0.0.1:" + std::to_string(HttpServer::UnusedPort()) + "/a.png";

  EXPECT_TRUE(SmallFileDownloader::Download(server.Url("/icon.png"), dir / "a.png", "com.a"));
  EXPECT_FALSE(SmallFileDownloader::Download(server.Url("/none.png"), dir / "b.png", "com.b"));
  EXPECT_FALSE(SmallFileDownloader::Download(dead, dir / "c.png", "com.c"));
  EXPECT_FALSE(SmallFileDownloader::Download("file:///etc/passwd", dir / "d.png", "com.d"));
  EXPECT_FALSE(
      SmallFileDownloader::Download(server.Url("/icon.png"), dir / "x/../../e.png", "com.e"));
  // A host that stops answering halfway is given up after the timeout.
  SmallFileDownloader stuck(server.Url("/stuck.png"), dir / "f.png", "com.f");
  stuck.setTimeouts(std::chrono::milliseconds(500), std::chrono::milliseconds(1000));
  EXPECT_FALSE(stuck.run());
  EXPECT_FALSE(stuck.run());
  server.Release();

  EXPECT_TRUE(test::ReadFile(dir / "a.png") == icon);
  for (const char* name : {"b.png", "c.png", "d.png", "f.png"}) {
    EXPECT_FALSE(FileExists(dir / name)) << name;
  }
  EXPECT_FALSE(FileExists(std::filesystem::path(dir.path()).parent_path() / "e.png"));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename(), "a.png") << "left behind: " << entry.path();
  }
  const auto& reports = window.all();
  ASSERT_EQ(reports.size(), 6u);
  const char* keys[] = {"com.a", "com.b", "com.c", "com.d", "com.e", "com.f"};
  const char* files[] = {"a.png", "b.png", "c.png", "d.png", "x/../../e.png", "f.png"};
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].message, MSG_ICON_READY.id);
    EXPECT_EQ(reports[i].key, keys[i]);
    EXPECT_EQ(reports[i].text, dir / files[i]);
    EXPECT_TRUE(reports[i].onUiThread);
  }
}

}  // namespace
}  // namespace lumo
