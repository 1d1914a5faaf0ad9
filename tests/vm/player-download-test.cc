#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"
#include "download/download-task-mgr.h"
#include "platform/process.h"
#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"
#include "vm/player-runtime.h"
#include "vm/vm-bridge-client.h"

namespace lumo {
namespace {

// The whole road of a missing player: the setup is fetched over HTTP from 127.0.0.1 as
// "player_task", run silently, and the player it installed starts and boots its VM. This
// program lives in a folder of its own with the download engine beside it, as Lumo does.
TEST(PlayerDownload, AMissingPlayerIsDownloadedInstalledAndStarted) {
  test::SandboxHome home;
  setenv("LUMO_PROGRAMS_DIR", (home.home() + "/programs").c_str(), 1);
  setenv("RUNBOX_HEADLESS", "1", 1);
  setenv("RUNBOX_BOOT_MS", "200", 1);
  setenv("RUNBOX_IDLE_EXIT_MS", "60000", 1);
  Settings::instance().Init();
  Log::instance()->init("lum", Settings::instance().logDir);
  ASSERT_TRUE(DownloadTaskMgr::instance()->available());

  test::HttpServer server;
  std::string setup = test::ReadFile(test::BuiltSetupPath());
  const char* file = platform::Is64BitOperatingSystem() ? "Setup64.exe" : "Setup32.exe";
  server.AddFile(std::string("/download/AKTU/Runbox/") + file, setup);
  setenv("LUMO_PLAYER_HOST", server.Url("").c_str(), 1);

  test::UiRecorder ui;
  // What the main window does: a finished "player_task" goes to the setup, and the end of the
  // setup starts the player.
  std::string downloaded;
  platform::WindowHandle window = ui.window();
  Dispatcher::instance()->Register(MSG_DOWNLOAD_DONE, window, [&](WParam key, LParam path) {
    if (std::strcmp(reinterpret_cast<const char*>(key), kPlayerTaskKey) != 0) return;
    downloaded = reinterpret_cast<const char*>(path);
    InstallPlayerAsync(downloaded);
  });
  ui.OnSetupDone([] { LaunchPlayer(); });
  CreateVmBridge();

  EXPECT_FALSE(IsPlayerInstalled());
  EnsurePlayer();
  ASSERT_TRUE(ui.WaitFor(MSG_PLAYER_SETUP_DONE, 1, 120000)) << test::LumoLogText(home);
  EXPECT_EQ(downloaded, Settings::instance().downloadDir + "/AKTInstaller.exe");
  EXPECT_EQ(test::ReadFile(downloaded), setup);
  EXPECT_GE(server.Requests(std::string("/download/AKTU/Runbox/") + file), 1);
  EXPECT_TRUE(IsPlayerInstalled());
  EXPECT_TRUE(test::WaitFor([] { return vmStarted.load(); }, std::chrono::seconds(60), true));

  Dispatcher::instance()->Unregister(MSG_DOWNLOAD_DONE, window);
  ui.Close();
  DeleteVmBridge();
  DownloadTaskMgr::instance()->stopAll();
  test::StopAllPlayers();
  unsetenv("LUMO_PLAYER_HOST");
  unsetenv("LUMO_PROGRAMS_DIR");
}

}  // namespace
}  // namespace lumo
