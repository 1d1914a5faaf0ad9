#include "platform/process.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo::platform {
namespace {

TEST(RunProcess, PassesArgumentsVerbatimAndCapturesBothStreams) {
  test::TempDir dir;
  const std::string tricky = "a \"b\" 'c' $(touch " + (dir / "pwned") + ") `x`; d";
  ProcessOutput out = RunProcess(
      {"/bin/sh", "-c", "printf '%s|' \"$@\"; echo err >&2; exit 3", "sh", tricky, ""}, 1 << 16);
  EXPECT_TRUE(out.started);
  EXPECT_EQ(out.exitCode, 3);
  EXPECT_EQ(out.text, tricky + "||err\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "pwned"));
}

TEST(RunProcess, BoundsOutputWithoutBlockingTheChildAndReportsFailedStarts) {
  // 32 MiB through a 4 KiB limit: the child must still run to its end.
  ProcessOutput big = RunProcess({"/usr/bin/head", "-c", "33554432", "/dev/zero"}, 4096);
  EXPECT_TRUE(big.started);
  EXPECT_EQ(big.exitCode, 0);
  EXPECT_TRUE(big.truncated);
  EXPECT_EQ(big.text.size(), 4096u);

  ProcessOutput missing = RunProcess({"/nonexistent/program"}, 4096);
  EXPECT_FALSE(missing.started);
  EXPECT_TRUE(missing.text.empty());
  EXPECT_FALSE(RunProcess({}, 4096).started);

  ProcessOutput killed = RunProcess({"/bin/sh", "-c", "kill -9 $$"}, 4096);
  EXPECT_EQ(killed.exitCode, -1);
}

TEST(SpawnDetached, AChildThatEndsIsReapedByTheUiLoop) {
  int pid = SpawnDetached({"/bin/true"});
  ASSERT_GT(pid, 0);
  std::string entry = "/proc/" + std::to_string(pid);
  EXPECT_TRUE(test::WaitFor([&] { return !std::filesystem::exists(entry); },
                            std::chrono::seconds(30), true))
      << "pid " << pid << " was left a zombie";
  EXPECT_EQ(SpawnDetached({"/nonexistent/program"}), -1);
}

// The nice value: field 19 of /proc/PID/stat, the 17th after the name in parentheses.
int NiceOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 0; i < 17; ++i) fields >> field;
  return std::stoi(field);
}

// A background program is lowered in the processor's share, as a process and as the session
// of its own that it starts; a normal one is left as this process is.
TEST(SpawnDetached, BackgroundProgramsYieldTheProcessor) {
  int background = SpawnDetached({"/bin/sleep", "5"}, SpawnPriority::kBackground);
  int normal = SpawnDetached({"/bin/sleep", "5"});
  ASSERT_GT(background, 0);
  ASSERT_GT(normal, 0);
  EXPECT_EQ(NiceOf(background), 10);
  EXPECT_EQ(NiceOf(normal), NiceOf(getpid()));
  std::ifstream group("/proc/" + std::to_string(background) + "/autogroup");
  std::string line;
  // Kernels built without autogroup have no such file.
  if (std::getline(group, line)) {
    EXPECT_NE(line.find("nice 10"), std::string::npos) << line;
  }
  kill(background, SIGKILL);
  kill(normal, SIGKILL);
}

}  // namespace
}  // namespace lumo::platform
