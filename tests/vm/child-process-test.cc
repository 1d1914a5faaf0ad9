// The player's children: every command it runs for a device ends within its limit, and a
// program it owns goes with the object that owns it.
#include "components/player/child-process.h"

#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace runbox {
namespace {

// Running and not merely a zombie that nobody has reaped yet.
bool Alive(pid_t pid) {
  std::string stat = lumo::test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::size_t close = stat.rfind(')');
  return pid > 0 && close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Starts `child` as a shell that writes its process id to `file` and becomes sleep.
pid_t StartSleeper(OwnedChild* child, const std::string& file) {
  std::remove(file.c_str());
  if (!child->Start({"/bin/sh", "-c",
                     "echo $$ > '" + file + "'.new && mv '" + file + "'.new '" + file +
                         "' && exec sleep 600"}))
    return -1;
  lumo::test::WaitFor([&] { return !lumo::test::ReadFile(file).empty(); });
  return std::atoi(lumo::test::ReadFile(file).c_str());
}

TEST(ChildProcess, CommandsEndWithinTheirLimitAndADaemonTheyLeaveDoesNotHoldThePlayer) {
  std::string output;
  int exitCode = -1;
  EXPECT_EQ(RunAndCapture({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, &output, &exitCode),
            RunEnd::kExited);
  EXPECT_EQ(output, "out\nerr\n");
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(RunAndCapture({"/nonexistent/adb"}, &output, &exitCode), RunEnd::kNotStarted);

  // A hung command is killed with what it started.
  output.clear();
  EXPECT_EQ(RunAndCapture({"/bin/sh", "-c", "sleep 600 & echo $!; wait"}, &output, &exitCode,
                          {std::chrono::milliseconds(300)}),
            RunEnd::kTimedOut);
  pid_t hung = std::atoi(output.c_str());
  EXPECT_GT(hung, 0);
  EXPECT_TRUE(lumo::test::WaitFor([&] { return !Alive(hung); }));
  std::atomic<bool> cancel{true};
  EXPECT_EQ(
      RunAndCapture({"/bin/sleep", "600"}, &output, &exitCode, {std::chrono::hours(1), &cancel}),
      RunEnd::kCancelled);

  // As adb start-server leaves its server: the command is done when it exits, though the
  // daemon keeps its output open.
  output.clear();
  EXPECT_EQ(RunAndCapture({"/bin/sh", "-c", "sleep 600 & echo $!"}, &output, &exitCode,
                          {std::chrono::hours(1)}),
            RunEnd::kExited);
  pid_t daemon = std::atoi(output.c_str());
  EXPECT_TRUE(Alive(daemon));
  kill(daemon, SIGKILL);

  EXPECT_EQ(FindProgram("sh").substr(FindProgram("sh").rfind('/')), "/sh");
  EXPECT_EQ(FindProgram("/nonexistent/adb"), "");
  EXPECT_EQ(FindProgram("no-such-program-here"), "");
}

TEST(ChildProcess, AnOwnedProgramEndsWhenItsOwnerGoesOrStartsAnother) {
  lumo::test::TempDir dir;
  pid_t first = -1, second = -1;
  {
    OwnedChild child;
    first = StartSleeper(&child, dir / "first");
    ASSERT_TRUE(Alive(first));
    second = StartSleeper(&child, dir / "second");
    ASSERT_TRUE(Alive(second));
    EXPECT_FALSE(Alive(first));
    EXPECT_TRUE(child.Running());
  }
  EXPECT_FALSE(Alive(second));

  OwnedChild quick;
  ASSERT_TRUE(quick.Start({"/bin/true"}));
  EXPECT_TRUE(lumo::test::WaitFor([&] { return !quick.Running(); }));
  EXPECT_FALSE(quick.Start({"/nonexistent/scrcpy"}));
  EXPECT_FALSE(quick.Running());
}

}  // namespace
}  // namespace runbox
