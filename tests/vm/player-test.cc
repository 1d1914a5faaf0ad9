#include <cstdlib>
#include <filesystem>
#include <future>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/process.h"
#include "tests/support/apk-builder.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"
#include "vm/player-runtime.h"
#include "vm/vm-bridge-client.h"
#include "vm/vm-task-loop.h"

namespace lumo {
namespace {

using test::UiMessage;

// Lumo's emulator part with the real player, installed by the real setup into the sandbox and
// started through LaunchPlayer. Each test runs in a process of its own (ctest), as the
// settings and the log are process-wide.
class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LUMO_PROGRAMS_DIR", (home_.home() + "/programs").c_str(), 1);
    setenv("RUNBOX_HEADLESS", "1", 1);
    setenv("RUNBOX_BOOT_MS", "200", 1);
    // A player left behind by a crashed test ends by itself.
    setenv("RUNBOX_IDLE_EXIT_MS", "60000", 1);
    unsetenv("RUNBOX_BOOT_RESULT");
    unsetenv("RUNBOX_INSTALL_RATE");
    Settings::instance().Init();
    Log::instance()->init("lum", Settings::instance().logDir);
    ASSERT_TRUE(test::InstallTestPlayer());
    bridge_.CreateServer(loop_);
  }
  void TearDown() override {
    ui_.Close();
    bridge_.DeleteServer();
    loop_.StopAndJoin();
    test::StopAllPlayers();
  }

  std::string Apk(const std::string& package, const std::string& label,
                  std::vector<std::string> abis = {}, std::uint64_t payloadBytes = 0) {
    return test::MakeApk(apks_.path(), package, label, std::move(abis), payloadBytes);
  }
  // A bundle of two aapt-built APKs of `package`: the base and an x86_64 split.
  std::string Bundle(const std::string& package) {
    std::string base = Apk(package, "Bundle"), split = apks_ / "split.apk", error;
    test::ApkSpec recipe;
    recipe.packageName = package;
    recipe.nativeAbis = {"x86_64"};
    EXPECT_TRUE(test::BuildApk(recipe, split, &error)) << error;
    std::string path = apks_ / (package + ".apks");
    EXPECT_TRUE(test::BuildBundle(
        path, {{"splits/base-master.apk", base}, {"splits/base-x86_64.apk", split}}, ""));
    return path;
  }
  bool WaitVmStarted() {
    return test::WaitFor([this] { return bridge_.vmStarted(); }, std::chrono::seconds(30), true);
  }
  bool PlayerLogHas(const std::string& text) {
    return test::WaitFor([&] { return test::PlayerLogText(home_).find(text) != std::string::npos; },
                         std::chrono::seconds(30), true);
  }
  bool LumoLogHas(const std::string& text) {
    return test::WaitFor([&] { return test::LumoLogText(home_).find(text) != std::string::npos; },
                         std::chrono::seconds(30), true);
  }
  std::string InstalledRecord() {
    return test::ReadFile(home_.dataHome() + "/LUMPlayer/packages.txt");
  }

  test::SandboxHome home_;
  test::TempDir apks_;
  test::UiRecorder ui_;
  VmBridgeClient bridge_;
  VMTaskLoop loop_{bridge_};
};

TEST_F(PlayerTest, InstallsUninstallsAndLaunchesRealPackagesWithACodeForEveryFailure) {
  std::string alpha = Apk("com.lumo.alpha", "Alpha");
  std::string beta = Apk("com.lumo.beta", "Beta", {"armeabi-v7a", "x86_64"});
  std::string gamma = Apk("com.lumo.gamma", "Gamma", {"armeabi-v7a", "mips"});
  std::string bundle = Bundle("com.lumo.bundle");
  std::uint64_t bundleBytes = std::filesystem::file_size(apks_ / "com.lumo.bundle.apk") +
                              std::filesystem::file_size(apks_ / "split.apk");
  std::string damaged = apks_ / "damaged.apk";
  std::string bytes = test::ReadFile(alpha);
  test::WriteFile(damaged, bytes.substr(0, bytes.size() / 2));

  EXPECT_FALSE(IsPlayerRunning());
  // The first task starts the player.
  loop_.AddTask(std::make_shared<ApkInstallTask>(alpha, "com.lumo.alpha"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(beta, "com.lumo.beta"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(bundle, "com.lumo.bundle"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(gamma, "com.lumo.gamma"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(apks_ / "gone.apk", "com.lumo.gone"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(damaged, "com.lumo.damaged"));
  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.lumo.alpha"));
  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.lumo.unknown"));
  ASSERT_TRUE(ui_.WaitFor(MSG_UNINSTALL_DONE.id, 2, 60000));

  std::vector<UiMessage> expected = {
      {MSG_INSTALL_START.id, "com.lumo.alpha", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.alpha", 0},
      {MSG_INSTALL_START.id, "com.lumo.beta", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.beta", 0},
      {MSG_INSTALL_START.id, "com.lumo.bundle", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.bundle", 0},
      {MSG_INSTALL_START.id, "com.lumo.gamma", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.gamma", 4},
      {MSG_INSTALL_START.id, "com.lumo.gone", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.gone", 2},
      {MSG_INSTALL_START.id, "com.lumo.damaged", 1},
      {MSG_INSTALL_DONE.id, "com.lumo.damaged", 3},
      {MSG_UNINSTALL_START.id, "com.lumo.alpha", 0},
      {MSG_UNINSTALL_DONE.id, "com.lumo.alpha", 0},
      {MSG_UNINSTALL_START.id, "com.lumo.unknown", 0},
      {MSG_UNINSTALL_DONE.id, "com.lumo.unknown", 5},
  };
  EXPECT_EQ(ui_.messages(), expected);
  EXPECT_EQ(InstalledRecord(), "com.lumo.beta\tBeta\tcom.lumo.beta.MainActivity\t" +
                                   std::to_string(std::filesystem::file_size(beta)) +
                                   "\ncom.lumo.bundle\tBundle\tcom.lumo.bundle.MainActivity\t" +
                                   std::to_string(bundleBytes) + "\n");
  // The bundle's split went in beside its base; nothing unpacked is left behind.
  std::string apps = home_.dataHome() + "/LUMPlayer/apps/";
  EXPECT_EQ(test::ReadFile(apps + "com.lumo.bundle.apk.split-1"),
            test::ReadFile(apks_ / "split.apk"));
  EXPECT_TRUE(std::filesystem::is_empty(home_.dataHome() + "/LUMPlayer/unpack"));
  EXPECT_TRUE(LumoLogHas("VM start complete."));
  EXPECT_TRUE(LumoLogHas("com.lumo.gamma install complete. [err=4]"));

  // A launch of an installed game is checked in game-road-test.sh; this one is not installed.
  bridge_.LaunchApp("com.lumo.alpha", "com.lumo.alpha.MainActivity", "Alpha", "");
  EXPECT_TRUE(PlayerLogHas("request 3 \"com.lumo.alpha/com.lumo.alpha.MainActivity\": 5"));
  ASSERT_TRUE(ui_.WaitFor(MSG_LAUNCH_FAILED.id));
  EXPECT_EQ(ui_.Of(MSG_LAUNCH_FAILED.id).front(),
            (UiMessage{MSG_LAUNCH_FAILED.id, "com.lumo.alpha", 5}));
  EXPECT_EQ(test::PlayerProcesses().size(), 1u);
}

TEST_F(PlayerTest, KillingThePlayerMidInstallReportsCodeOneAndTheNextTaskWaitsForTheNextStart) {
  // Slow storage: the install of this package lasts long enough to be interrupted.
  setenv("RUNBOX_INSTALL_RATE", "20000", 1);
  std::string big = Apk("com.lumo.big", "Big", {}, 400000);
  LaunchPlayer();
  ASSERT_TRUE(WaitVmStarted());
  loop_.AddTask(std::make_shared<ApkInstallTask>(big, "com.lumo.big"));
  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.lumo.big"));
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_START.id));
  ASSERT_TRUE(PlayerLogHas("installing com.lumo.big"));
  unsetenv("RUNBOX_INSTALL_RATE");

  ASSERT_TRUE(StopPlayer());
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_DONE.id));
  EXPECT_EQ(ui_.Of(MSG_INSTALL_DONE.id).front(),
            (UiMessage{MSG_INSTALL_DONE.id, "com.lumo.big", 1}));
  EXPECT_TRUE(LumoLogHas("com.lumo.big install complete, akt is closed."));
  // Losing the player during a task does not start it again; the uninstall waits.
  EXPECT_FALSE(ui_.WaitFor(MSG_UNINSTALL_START.id, 1, 500));
  EXPECT_EQ(loop_.PendingCount(), 1u);
  EXPECT_TRUE(test::PlayerProcesses().empty());
  EXPECT_EQ(InstalledRecord(), "");

  LaunchPlayer();
  ASSERT_TRUE(ui_.WaitFor(MSG_UNINSTALL_DONE.id));
  EXPECT_EQ(ui_.Of(MSG_UNINSTALL_DONE.id).front(),
            (UiMessage{MSG_UNINSTALL_DONE.id, "com.lumo.big", 5}));
}

TEST_F(PlayerTest, AFailedVmStartKeepsTasksQueuedAndAPlayerLostWhileIdleIsStartedAgain) {
  setenv("RUNBOX_BOOT_RESULT", "9", 1);
  std::string alpha = Apk("com.lumo.alpha", "Alpha");
  loop_.AddTask(std::make_shared<ApkInstallTask>(alpha, "com.lumo.alpha"));
  ASSERT_TRUE(LumoLogHas("VM start failed."));
  EXPECT_FALSE(ui_.WaitFor(MSG_INSTALL_START.id, 1, 500));
  EXPECT_EQ(loop_.PendingCount(), 1u);
  EXPECT_FALSE(loop_.IsRunning());

  // The player goes away with no task in flight: Lumo starts it again, and this one boots.
  unsetenv("RUNBOX_BOOT_RESULT");
  ASSERT_TRUE(StopPlayer());
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_DONE.id));
  EXPECT_EQ(ui_.messages(), (std::vector<UiMessage>{{MSG_INSTALL_START.id, "com.lumo.alpha", 1},
                                                    {MSG_INSTALL_DONE.id, "com.lumo.alpha", 0}}));
  EXPECT_EQ(test::CountOf(test::LumoLogText(home_), "VM start complete."), 1);
  EXPECT_EQ(test::PlayerProcesses().size(), 1u);
}

TEST_F(PlayerTest, ARestartedLumoFindsTheRunningVmAndASecondPlayerLeaves) {
  std::string alpha = Apk("com.lumo.alpha", "Alpha");
  LaunchPlayer();
  ASSERT_TRUE(WaitVmStarted());
  loop_.AddTask(std::make_shared<ApkInstallTask>(alpha, "com.lumo.alpha"));
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_DONE.id));

  // Lumo goes and comes back; the player keeps its VM and says so with "already running".
  bridge_.DeleteServer();
  EXPECT_FALSE(bridge_.vmStarted()) << "a deleted bridge reports no VM";
  bridge_.CreateServer(loop_);
  ASSERT_TRUE(WaitVmStarted());
  EXPECT_EQ(test::CountOf(test::LumoLogText(home_), "VM start complete."), 1);
  EXPECT_TRUE(PlayerLogHas("connected to the bridge"));

  // A player started by hand next to the running one ends at once.
  int exitCode = -1;
  ASSERT_TRUE(platform::SpawnAndWait({PlayerExePath()}, &exitCode));
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(test::PlayerProcesses().size(), 1u);

  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.lumo.alpha"));
  ASSERT_TRUE(ui_.WaitFor(MSG_UNINSTALL_DONE.id));
  EXPECT_EQ(ui_.Of(MSG_UNINSTALL_DONE.id).front().value, 0);
}

TEST_F(PlayerTest, ClosingLumoEndsThePlayerWithoutStartingItAgain) {
  LaunchPlayer();
  ASSERT_TRUE(WaitVmStarted());
  bridge_.ClosePlayerOnExit();
  EXPECT_TRUE(LumoLogHas("VM Connection disconnected. [result=1]."));
  EXPECT_TRUE(PlayerLogHas("player ended"));
  EXPECT_TRUE(test::WaitFor([] { return test::PlayerProcesses().empty(); }));
  EXPECT_FALSE(test::WaitFor([] { return !test::PlayerProcesses().empty(); },
                             std::chrono::milliseconds(500)));
}

TEST_F(PlayerTest, LumoClosesEvenWhenThePlayerNeverAnswers) {
  std::string alpha = Apk("com.lumo.alpha", "Alpha");
  LaunchPlayer();
  ASSERT_TRUE(WaitVmStarted());
  std::vector<int> players = test::PlayerProcesses();
  ASSERT_EQ(players.size(), 1u);
  kill(players.front(), SIGSTOP);
  loop_.AddTask(std::make_shared<ApkInstallTask>(alpha, "com.lumo.alpha"));
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_START.id));

  // What the closing window and the shutdown do, on this (the UI) thread.
  auto closed = std::async(std::launch::async, [this] {
    ui_.Close();
    bridge_.ClosePlayerOnExit();
    bridge_.DeleteServer();
  });
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  // The frozen player finds the close request when it wakes up.
  kill(players.front(), SIGCONT);
  EXPECT_TRUE(PlayerLogHas("player closing: Lumo asked the player to close"));
  EXPECT_TRUE(test::WaitFor([] { return test::PlayerProcesses().empty(); }));
}

TEST_F(PlayerTest, APeerHoldingTheBridgeMakesThePlayerBackOffUntilItLeaves) {
  auto start = std::chrono::steady_clock::now();
  auto holder = std::make_unique<test::RawPeer>();
  ASSERT_TRUE(test::WaitFor([this] { return bridge_.connected(); }));
  LaunchPlayer();
  auto refusals = [this] { return test::CountOf(test::PlayerLogText(home_), "trying again in"); };
  ASSERT_TRUE(test::WaitFor([&] { return refusals() >= 3; }, std::chrono::seconds(60)));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Waits of 0.2, 0.4, 0.8 s and so on: how many refusals can fit in the time that passed.
  int fit = 1;
  for (double wait = 0.2, sum = wait; sum <= seconds; wait = std::min(wait * 2, 5.0), sum += wait)
    ++fit;
  EXPECT_LE(refusals(), fit);
  holder.reset();
  EXPECT_TRUE(WaitVmStarted());
}

TEST_F(PlayerTest, APackageNamedLikeAPathIsRefusedAndNothingIsWrittenOutsideItsFolder) {
  std::string evil = Apk("aa.bb.x", "Evil");
  ASSERT_TRUE(test::PatchManifestText(evil, "aa.bb.x", "../../x"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(evil, "aa.bb.x"));
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_DONE.id, 1, 60000));
  EXPECT_EQ(ui_.Of(MSG_INSTALL_DONE.id).front().value, 3);
  EXPECT_EQ(InstalledRecord(), "");
  for (auto& entry : std::filesystem::recursive_directory_iterator(home_.home()))
    EXPECT_NE(entry.path().filename().string().rfind("x.apk", 0), 0u) << entry.path();
}

}  // namespace
}  // namespace lumo
