#include <cstring>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "catalogue/download-checks.h"
#include "platform/file-system.h"
#include "tests/download/engine-helper.h"
#include "tests/support/http-server.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

extern char** environ;

namespace lumo {
namespace {

using test::FileExists;
using test::HttpServer;
using test::ReadFile;
using test::TempDir;
using test::WaitFor;
using test::WaitForEnd;

constexpr std::uint64_t kMiB = 1 << 20;

class XlEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = test::LoadEngine();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->Init());
  }
  XlHandle Create(const std::string& url, const std::string& folder, const std::string& name) {
    return engine->CreateTask(*MakeTaskParam(url, folder, name));
  }
  DownTaskInfo Query(XlHandle task) {
    DownTaskInfo info;
    std::memset(&info, 0, sizeof(info));
    engine->QueryTaskInfo(task, &info);
    return info;
  }
  // Runs a task that must fail and checks that nothing was passed off as complete.
  int FailureCode(const std::string& url, const std::string& name) {
    XlHandle task = Create(url, dir.path(), name);
    EXPECT_TRUE(engine->StartTask(task));
    DownTaskInfo info = WaitForEnd(*engine, task);
    EXPECT_EQ(info.stat, kXlError) << url;
    return info.fail_code;
  }

  TempDir dir;
  HttpServer server;
  // Ends before the server, so that no pooled connection keeps the server waiting.
  std::shared_ptr<ThunderWrapper> engine;
};

TEST_F(XlEngine, SegmentedDownloadIsByteIdenticalAndReportsItsFile) {
  std::string body = test::PatternBytes(12 * kMiB + 12345);
  server.AddFile("/game.apk", body);
  XlHandle task = Create(server.Url("/game.apk"), dir.path(), "com.example.game.apk");
  ASSERT_NE(task, nullptr);
  DownTaskInfo before = Query(task);
  EXPECT_EQ(before.stat, kXlPaused);

  ASSERT_TRUE(engine->StartTask(task));
  DownTaskInfo info = WaitForEnd(*engine, task);
  ASSERT_EQ(info.stat, kXlComplete);
  EXPECT_EQ(TaskFileName(info), "com.example.game.apk");
  EXPECT_FLOAT_EQ(info.fPercent, 1.0f);
  EXPECT_TRUE(ReadFile(dir / "com.example.game.apk") == body);
  EXPECT_FALSE(FileExists(dir / "com.example.game.apk.aria2"));
  // Several connections, each asking for its own part of the file.
  EXPECT_GT(server.Requests("/game.apk"), 1);
  int ranged = 0;
  for (const std::string& range : server.Ranges("/game.apk")) ranged += !range.empty();
  EXPECT_GT(ranged, 1);

  // A later start finds the engine idle; an empty file is a file too.
  server.AddFile("/empty.apk", std::string());
  XlHandle empty = Create(server.Url("/empty.apk"), dir.path(), "empty.apk");
  ASSERT_TRUE(engine->StartTask(empty));
  ASSERT_EQ(WaitForEnd(*engine, empty).stat, kXlComplete);
  EXPECT_TRUE(FileExists(dir / "empty.apk"));
  EXPECT_TRUE(ReadFile(dir / "empty.apk").empty());
}

TEST_F(XlEngine, BadAddressesAndServersEndAsFailuresWithACode) {
  server.AddRedirectLoop("/loop");
  HttpServer::File broken;
  broken.pattern = std::make_shared<const std::string>(test::PatternBytes(3 * kMiB));
  broken.size = broken.pattern->size();
  broken.dropAt = broken.size / 2;  // every connection dies at the middle, for ever
  server.AddFile("/broken.apk", broken);

  EXPECT_EQ(FailureCode(server.Url("/missing.apk"), "missing.apk"), 3);
  EXPECT_EQ(FailureCode(server.Url("/loop"), "loop.apk"), 23);
  std::string dead = "http://127.0.0.1:" + std::to_string(HttpServer::UnusedPort()) + "/x.apk";
  EXPECT_NE(FailureCode(dead, "dead.apk"), 0);
  EXPECT_NE(FailureCode(server.Url("/broken.apk"), "broken.apk"), 0);
  // Whatever is left of the broken file is not the served file.
  if (FileExists(dir / "broken.apk")) {
    EXPECT_NE(ReadFile(dir / "broken.apk"), HttpServer::Body(broken));
  }
}

TEST_F(XlEngine, NamesAndFoldersThatLeaveTheirFolderAreRefused) {
  server.AddFile("/a.apk", test::PatternBytes(1000));
  std::string inner = dir / "inner";
  std::filesystem::create_directory(inner);
  const std::pair<std::string, std::string> cases[] = {
      {inner, "../escaped.apk"},
      {inner, "sub/escaped.apk"},
      {inner, "..\\escaped.apk"},
      {inner, ".."},
      {inner + "/../x", "ok.apk"},
      {"relative/folder", "ok.apk"},
      {inner, ""},
  };
  for (const auto& [folder, name] : cases) {
    XlHandle task = Create(server.Url("/a.apk"), folder, name);
    ASSERT_NE(task, nullptr);
    ASSERT_TRUE(engine->StartTask(task));
    DownTaskInfo info = WaitForEnd(*engine, task);
    EXPECT_EQ(info.stat, kXlError) << folder << " " << name;
    EXPECT_EQ(info.fail_code, 16) << folder << " " << name;
  }
  EXPECT_EQ(server.Requests("/a.apk"), 0);
  EXPECT_FALSE(FileExists(dir / "escaped.apk"));
  EXPECT_FALSE(FileExists(dir / "x"));
  EXPECT_TRUE(std::filesystem::is_empty(inner));
}

TEST_F(XlEngine, DroppedConnectionIsRetriedAndStopStartResumes) {
  HttpServer::File flaky;
  flaky.pattern = std::make_shared<const std::string>(test::PatternBytes(2 * kMiB + 99));
  flaky.size = flaky.pattern->size();
  flaky.dropFirstAfter = 300 * 1024;
  server.AddFile("/flaky.apk", flaky);
  XlHandle first = Create(server.Url("/flaky.apk"), dir.path(), "flaky.apk");
  ASSERT_TRUE(engine->StartTask(first));
  ASSERT_EQ(WaitForEnd(*engine, first).stat, kXlComplete);
  EXPECT_TRUE(ReadFile(dir / "flaky.apk") == HttpServer::Body(flaky));

  // Slow enough to be stopped halfway; the speed counters show the transfer meanwhile.
  std::string body = test::PatternBytes(6 * kMiB);
  server.AddFile("/slow.apk", body, 256 * 1024);
  XlHandle task = Create(server.Url("/slow.apk"), dir.path(), "slow.apk");
  ASSERT_TRUE(engine->StartTask(task));
  bool sawSpeed = false;
  ASSERT_TRUE(WaitFor([&] {
    DownTaskInfo info = Query(task);
    sawSpeed = sawSpeed || info.nSpeed + info.nSpeedP2S + info.nSpeedP2P > 0;
    return info.stat == kXlDownloading && info.fPercent > 0.3f;
  }));
  EXPECT_TRUE(sawSpeed);
  engine->StopTask(task);
  EXPECT_EQ(Query(task).stat, kXlPaused);
  ASSERT_TRUE(engine->StartTask(task));
  ASSERT_EQ(WaitForEnd(*engine, task).stat, kXlComplete);
  EXPECT_TRUE(ReadFile(dir / "slow.apk") == body);
  // The part fetched before the stop was not fetched again.
  EXPECT_LT(server.BytesSent("/slow.apk"), body.size() + body.size() / 4);
}

TEST_F(XlEngine, AFullDiskEndsAsAFailure) {
  std::string small = dir / "small";
  std::filesystem::create_directory(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
  }
  server.AddFile("/big.apk", test::PatternBytes(4 * kMiB));
  XlHandle task = Create(server.Url("/big.apk"), small, "big.apk");
  ASSERT_TRUE(engine->StartTask(task));
  DownTaskInfo info = WaitForEnd(*engine, task);
  EXPECT_EQ(info.stat, kXlError);
  EXPECT_NE(info.fail_code, 0);
  WaitFor([&] { return umount(small.c_str()) == 0; }, std::chrono::seconds(10));
}

// Servers that misbehave on purpose. Each download ends, in a file that is whole or in a
// failure; none grows without bound or stays "downloading" for ever, and what the engine did
// about it is in Lumo's log. The limits are brought within the test's reach through the
// engine's environment.
TEST(XlEngineLimits, HostileServersEndEveryDownload) {
  // Set for the engines of this test only; later tests and their children see none of it.
  struct Limits {
    Limits() {
      setenv("XLDL_LOWEST_SPEED", "4096", 1);
      setenv("XLDL_SLOW_GRACE", "1", 1);
      setenv("XLDL_SLOW_RETRIES", "2", 1);
      setenv("XLDL_LENGTH_CAP", std::to_string(4 * kMiB).c_str(), 1);
    }
    ~Limits() {
      for (const char* name :
           {"XLDL_LOWEST_SPEED", "XLDL_SLOW_GRACE", "XLDL_SLOW_RETRIES", "XLDL_LENGTH_CAP"})
        unsetenv(name);
    }
  } limits;
  test::StartLogCapture();
  HttpServer server;
  TempDir dir;
  auto engine = test::LoadEngine();
  ASSERT_TRUE(engine && engine->Init());
  auto run = [&](const std::string& path) {
    XlHandle task =
        engine->CreateTask(*MakeTaskParam(server.Url(path), dir.path(), path.substr(1)));
    EXPECT_TRUE(engine->StartTask(task));
    return WaitForEnd(*engine, task);
  };
  auto file = [](std::uint64_t size, std::uint64_t throttle = 0) {
    HttpServer::File f;
    f.pattern = std::make_shared<const std::string>(test::PatternBytes(64 * 1024 + 1));
    f.size = size;
    f.throttle = throttle;
    return f;
  };

  // Interrupted, then every Range ignored: the file is begun again from 0, and that is logged.
  HttpServer::File stubborn = file(3 * kMiB + 5);
  stubborn.dropFirstAfter = 512 * 1024;
  stubborn.ignoreRange = true;
  server.AddFile("/stubborn.apk", stubborn);
  DownTaskInfo info = run("/stubborn.apk");
  EXPECT_EQ(info.stat, kXlComplete) << info.fail_code;
  EXPECT_TRUE(ReadFile(dir / "stubborn.apk") == HttpServer::Body(stubborn));
  EXPECT_TRUE(test::WaitForLogLine("download engine: " + (dir / "stubborn.apk") +
                                   ": the server does not resume it"));

  // No length and no end: cut at the cap and not kept. A length over the cap, even one that
  // no disk or memory holds: refused.
  HttpServer::File endless = file(0, 4 * kMiB);
  endless.endless = true;
  server.AddFile("/endless.apk", endless);
  server.AddFile("/huge.apk", file(std::uint64_t{1} << 44, 4 * kMiB));
  server.AddFile("/vast.apk", file(std::uint64_t{1} << 50, 4 * kMiB));
  for (const char* path : {"/endless.apk", "/huge.apk", "/vast.apk"}) {
    info = run(path);
    EXPECT_EQ(info.stat, kXlError) << path;
    EXPECT_EQ(info.fail_code, 9) << path;
  }
  EXPECT_FALSE(FileExists(dir / "endless.apk"));
  EXPECT_TRUE(test::WaitForLogLine("vast.apk: longer than it may be"));
  // Refused on its announcement alone: aria2 never asked for it.
  EXPECT_EQ(server.Requests("/vast.apk"), 0);

  // A byte a second is below the lowest speed: the connection is cut and tried again, so a
  // server that recovers finishes the file; one that never does fails the task after the
  // retries.
  server.AddFile("/drip.apk", file(1000, 1));
  XlHandle recovers =
      engine->CreateTask(*MakeTaskParam(server.Url("/drip.apk"), dir.path(), "r.apk"));
  ASSERT_TRUE(engine->StartTask(recovers));
  EXPECT_TRUE(test::WaitForLogLine("r.apk: the connection was too slow; trying again"));
  server.AddFile("/drip.apk", file(1000));
  EXPECT_EQ(WaitForEnd(*engine, recovers).stat, kXlComplete);
  server.AddFile("/drip.apk", file(1000, 1));
  info = run("/drip.apk");
  EXPECT_EQ(info.stat, kXlError);
  EXPECT_EQ(info.fail_code, 5);
  EXPECT_EQ(server.Requests("/drip.apk"), 3);
  EXPECT_TRUE(test::WaitForLogLine("drip.apk: the connection was too slow 3 times"));

  // A short length and a redirect to another file complete, and the store's check refuses
  // both before anything else looks at them.
  std::string real = test::PatternBytes(300000, 7);
  test::WriteFile(dir / "real", real);
  DownloadCheck check;
  std::uint64_t size = 0;
  ASSERT_TRUE(platform::HashFile(dir / "real", &check.sha256, &size));
  check.size = static_cast<std::int64_t>(size);
  server.AddFile("/short.apk", real.substr(0, real.size() / 2));
  server.AddFile("/other.apk", test::PatternBytes(300000, 8));
  server.AddRedirect("/moved.apk", "/other.apk");
  for (const char* path : {"/short.apk", "/moved.apk"}) {
    EXPECT_EQ(run(path).stat, kXlComplete) << path;
    EXPECT_NE(VerifyDownload(dir.path() + path, check), "") << path;
  }
  EXPECT_EQ(VerifyDownload(dir / "real", check), "");
}

// How many times the log holds `text`.
int LogLines(const std::string& text) {
  std::string log = test::CapturedLog();
  int count = 0;
  for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

// The engine's processes that this test program started and has not reaped.
std::vector<pid_t> EngineProcesses() {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string stat = FileExists(entry.path() / "stat") ? ReadFile(entry.path() / "stat") : "";
    auto close = stat.rfind(')');
    if (stat.find("(xldl-engine)") == std::string::npos || close == std::string::npos) continue;
    // After the name: the state, then the parent's id. One ended but not reaped counts.
    char state = 0;
    int parent = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == getpid())
      found.push_back(std::stoi(entry.path().filename()));
  }
  return found;
}

// With no time to keep it, the engine's process ends whenever nothing downloads, and aria2
// with it. A task paused then has its download only in aria2's control file, and the next
// process must take it up from there; tasks that ended keep their state.
TEST(XlEngineSession, AnIdleEngineEndsItsProcessAndTheNextOneResumesItsTasks) {
  setenv("XLDL_SESSION_IDLE", "0", 1);
  test::StartLogCapture();
  auto engine = test::LoadEngine();
  bool started = engine && engine->Init();
  unsetenv("XLDL_SESSION_IDLE");
  ASSERT_TRUE(started);
  // The process that Init prepared ends at once, with nothing to download.
  ASSERT_TRUE(test::WaitForLogLine("idle: the engine's process ended"));
  EXPECT_TRUE(EngineProcesses().empty());
  HttpServer server;
  TempDir dir;
  std::string small = test::PatternBytes(100000, 3);
  server.AddFile("/small.apk", small);
  XlHandle done = engine->CreateTask(*MakeTaskParam(server.Url("/small.apk"), dir.path(), "a.apk"));
  ASSERT_TRUE(engine->StartTask(done));
  ASSERT_EQ(WaitForEnd(*engine, done).stat, kXlComplete);
  ASSERT_TRUE(WaitFor([] { return LogLines("idle: the engine's process ended") == 2; }));
  EXPECT_TRUE(EngineProcesses().empty());

  std::string body = test::PatternBytes(2 * kMiB, 5);
  server.AddFile("/slow.apk", body, 512 * 1024);
  XlHandle task = engine->CreateTask(*MakeTaskParam(server.Url("/slow.apk"), dir.path(), "b.apk"));
  ASSERT_TRUE(engine->StartTask(task));
  DownTaskInfo info;
  ASSERT_TRUE(WaitFor([&] {
    engine->QueryTaskInfo(task, &info);
    return info.stat == kXlDownloading && info.fPercent > 0.3f;
  }));
  EXPECT_EQ(EngineProcesses().size(), 1u);
  engine->StopTask(task);
  // The closing line of this pause's process: the capture holds three by then.
  ASSERT_TRUE(WaitFor([] { return LogLines("idle: the engine's process ended") == 3; }));
  EXPECT_TRUE(EngineProcesses().empty());
  engine->QueryTaskInfo(done, &info);
  EXPECT_EQ(info.stat, kXlComplete);
  ASSERT_TRUE(engine->StartTask(task));
  ASSERT_EQ(WaitForEnd(*engine, task).stat, kXlComplete);
  EXPECT_TRUE(ReadFile(dir / "b.apk") == body);
  EXPECT_LT(server.BytesSent("/slow.apk"), body.size() + body.size() / 4);
}

// Init prepares the process, so that the first download does not wait for it to start. A
// process killed under its downloads: they end as failed, with what happened in the log, and
// a retry starts a new process that continues the file.
TEST(XlEngineSession, ADeadEngineProcessFailsItsDownloadsAndARetryContinuesThem) {
  test::StartLogCapture();
  auto engine = test::LoadEngine();
  ASSERT_TRUE(engine && engine->Init());
  std::vector<pid_t> prepared;
  ASSERT_TRUE(WaitFor([&] { return (prepared = EngineProcesses()).size() == 1; }));
  HttpServer server;
  TempDir dir;
  std::string body = test::PatternBytes(4 * kMiB, 9);
  server.AddFile("/slow.apk", body, 512 * 1024);
  XlHandle task = engine->CreateTask(*MakeTaskParam(server.Url("/slow.apk"), dir.path(), "c.apk"));
  ASSERT_TRUE(engine->StartTask(task));
  DownTaskInfo info;
  ASSERT_TRUE(WaitFor([&] {
    engine->QueryTaskInfo(task, &info);
    return info.fPercent > 0.4f && FileExists(dir / "c.apk.aria2");
  }));
  EXPECT_EQ(EngineProcesses(), prepared);
  kill(prepared[0], SIGKILL);
  info = WaitForEnd(*engine, task);
  EXPECT_EQ(info.stat, kXlError);
  EXPECT_NE(info.fail_code, 0);
  EXPECT_TRUE(test::WaitForLogLine("the engine's process ended (signal 9)"));
  // Reaped: no process of the engine is left over, not even a dead one.
  EXPECT_TRUE(EngineProcesses().empty());
  ASSERT_TRUE(engine->StartTask(task));
  ASSERT_EQ(WaitForEnd(*engine, task).stat, kXlComplete);
  EXPECT_TRUE(ReadFile(dir / "c.apk") == body);
  EXPECT_LT(server.BytesSent("/slow.apk"), body.size() + body.size() * 3 / 4);
}

pid_t StartDownloadProgram(const std::string& url, const std::string& folder) {
  std::string program = std::string(LUMO_TEST_BIN_DIR) + "/engine-download-program";
  std::string library = test::EngineLibraryPath();
  std::string name = "resumed.apk";
  char* argv[] = {program.data(),
                  library.data(),
                  const_cast<char*>(url.c_str()),
                  const_cast<char*>(folder.c_str()),
                  name.data(),
                  nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

TEST(XlEngineProcess, AKilledDownloadResumesInTheNextProcess) {
  HttpServer server;
  TempDir dir;
  std::string body = test::PatternBytes(10 * kMiB + 7);
  server.AddFile("/resumed.apk", body, 192 * 1024);
  pid_t first = StartDownloadProgram(server.Url("/resumed.apk"), dir.path());
  ASSERT_GT(first, 0);
  std::string control = dir / "resumed.apk.aria2";
  ASSERT_TRUE(WaitFor([&] { return server.BytesSent("/resumed.apk") > body.size() / 2; },
                      std::chrono::seconds(120)));
  // Kill only after a save of the control file that followed the halfway mark.
  std::string saved = FileExists(control) ? ReadFile(control) : "";
  ASSERT_TRUE(WaitFor([&] { return FileExists(control) && ReadFile(control) != saved; }));
  kill(first, SIGKILL);
  int status = 0;
  waitpid(first, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_TRUE(FileExists(control));

  // Still throttled, so that what the server counts is what the client took.
  server.ResetCounters();
  pid_t second = StartDownloadProgram(server.Url("/resumed.apk"), dir.path());
  ASSERT_GT(second, 0);
  waitpid(second, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(ReadFile(dir / "resumed.apk") == body);
  EXPECT_FALSE(FileExists(control));
  // The second process fetched only what the first had not saved.
  EXPECT_LT(server.BytesSent("/resumed.apk"), body.size() * 3 / 4);
  int ranged = 0;
  for (const std::string& range : server.Ranges("/resumed.apk")) {
    ranged += !range.empty();
    EXPECT_NE(range.rfind("bytes=0-", 0), 0u) << "the start of the file was fetched again";
  }
  EXPECT_GT(ranged, 0);
}

}  // namespace
}  // namespace lumo
