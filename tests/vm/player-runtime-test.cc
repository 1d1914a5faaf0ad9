#include "vm/player-runtime.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

int RunSetup(const std::vector<std::string>& argv) {
  int exitCode = -1;
  EXPECT_TRUE(platform::SpawnAndWait(argv, &exitCode));
  return exitCode;
}

TEST(PlayerSetup, InstallsAWorkingPlayerSilentlyAndRefusesADamagedPayload) {
  test::TempDir dir;
  std::string setup = test::BuiltSetupPath();
  std::string player = std::string(LUMO_PROGRAM_DIR) + "/Runbox.exe";
  // "/D=" takes a folder with spaces as it stands.
  std::string folder = dir / "Program Files/LUMPlayer";
  ASSERT_EQ(RunSetup({setup, "/S", "/NCRC", "/D=" + folder}), 0);
  ASSERT_TRUE(fs::exists(folder + "/Runbox.exe"));
  EXPECT_EQ(test::ReadFile(folder + "/Runbox.exe"), test::ReadFile(player));
  EXPECT_EQ(access((folder + "/Runbox.exe").c_str(), X_OK), 0);

  // One byte changed inside the carried player: the checksum catches it unless told not to.
  std::string bytes = test::ReadFile(setup);
  std::size_t playerSize = fs::file_size(player);
  bytes[bytes.size() - 28 - playerSize / 2] ^= 0x5a;
  std::string damaged = dir / "damaged.exe";
  test::WriteFile(damaged, bytes);
  chmod(damaged.c_str(), 0755);
  EXPECT_EQ(RunSetup({damaged, "/S", "/D=" + (dir / "checked")}), 2);
  EXPECT_FALSE(fs::exists(dir / "checked/Runbox.exe"));
  EXPECT_EQ(RunSetup({damaged, "/S", "/NCRC", "/D=" + (dir / "unchecked")}), 0);

  // A setup cut short carries no player at all.
  std::string cut = dir / "cut.exe";
  test::WriteFile(cut, test::ReadFile(setup).substr(0, bytes.size() - playerSize / 2));
  chmod(cut.c_str(), 0755);
  EXPECT_EQ(RunSetup({cut, "/S", "/NCRC", "/D=" + (dir / "cut")}), 2);
  EXPECT_EQ(RunSetup({setup, "/S", "/X", "/D=" + (dir / "x")}), 1);
  EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(PlayerRuntime, FindsThePlayerByItsExactNameInThisSessionAndStopsIt) {
  test::SandboxHome home;
  test::TempDir dir;
  fs::copy_file("/bin/sleep", dir / "runbox.exe");
  fs::copy_file("/bin/sleep", dir / "Runbox.exe");
  int lower = platform::SpawnDetached({dir / "runbox.exe", "60"});
  ASSERT_GT(lower, 0);
  EXPECT_FALSE(test::WaitFor([] { return IsPlayerRunning(); }, std::chrono::milliseconds(300)));
  EXPECT_FALSE(StopPlayer());

  // A player of another session (another runtime folder) is not ours to find or stop.
  setenv("XDG_RUNTIME_DIR", (home.home() + "/other").c_str(), 1);
  int foreign = platform::SpawnDetached({dir / "Runbox.exe", "60"});
  setenv("XDG_RUNTIME_DIR", home.runtimeDir().c_str(), 1);
  ASSERT_GT(foreign, 0);
  EXPECT_FALSE(test::WaitFor([] { return IsPlayerRunning(); }, std::chrono::milliseconds(300)));

  int player = platform::SpawnDetached({dir / "Runbox.exe", "60"});
  ASSERT_TRUE(test::WaitFor([] { return IsPlayerRunning(); }));
  EXPECT_EQ(test::PlayerProcesses(), std::vector<int>{player});
  EXPECT_TRUE(StopPlayer());
  EXPECT_FALSE(IsPlayerRunning());
  EXPECT_FALSE(StopPlayer());
  for (int pid : {lower, foreign}) {
    platform::TerminateProcess(pid);
    platform::WaitForProcessEnd(pid, 10000);
  }
}

}  // namespace
}  // namespace lumo
