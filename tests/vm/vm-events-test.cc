#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/ui-loop.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"
#include "vm/vm-bridge-client.h"
#include "vm/vm-task-loop.h"

namespace lumo {
namespace {

using test::RawPeer;
using test::UiMessage;
using test::UiRecorder;

// Lumo's side of the bridge against a peer scripted by hand. No player is installed in the
// sandbox, so the starts of the player that Lumo asks for fail quietly.
class VmEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LUMO_PROGRAMS_DIR", (home_.home() + "/programs").c_str(), 1);
    Settings::instance().Init();
    Log::instance()->init("lum", Settings::instance().logDir);
    bridge_.CreateServer(loop_);
  }
  void TearDown() override {
    ui_.Close();
    bridge_.DeleteServer();
    loop_.StopAndJoin();
    unsetenv("LUMO_PROGRAMS_DIR");
  }
  // Reads frames until one of `type` arrives. The UI loop runs meanwhile: a task sends to the
  // window before it writes to the bridge.
  bool ReadType(RawPeer* peer, std::uint32_t type, std::string* text) {
    vmbridge::Frame frame;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      platform::PumpUiLoop();
      if (!peer->Read(&frame, 20) || frame.type != type) continue;
      *text = frame.data;
      return true;
    }
    return false;
  }
  bool LogHas(const std::string& line) {
    return test::WaitFor([&] { return test::LumoLogText(home_).find(line) != std::string::npos; });
  }

  test::SandboxHome home_;
  UiRecorder ui_;
  VmBridgeClient bridge_;
  VMTaskLoop loop_{bridge_};
};

TEST_F(VmEventsTest, FollowsTheConnectionAndKeepsOnlyTheLastLaunchUntilTheVmStarts) {
  VmBridgeClient& client = bridge_;
  LUMConnectEvent detached(client, loop_);
  EXPECT_TRUE(detached.OnConnected(false));
  EXPECT_FALSE(client.connected());

  auto peer = std::make_unique<RawPeer>();
  std::string text;
  ASSERT_TRUE(ReadType(peer.get(), kVmHello, &text));
  EXPECT_EQ(text, std::string("0\0", 2));
  EXPECT_TRUE(client.connected());

  // A result with no task in flight reports nothing; 5 and 6 bring the window forward.
  peer->SendText(kVmInstall, "0");
  peer->SendText(kVmHello, "0");
  peer->SendText(kVmSplash, "icon;name");
  ASSERT_TRUE(ui_.WaitFor(MSG_SHOW_MAIN, 2));
  EXPECT_TRUE(ui_.Of(MSG_INSTALL_DONE.id).empty());

  peer->SendText(kVmStarted, "3");
  EXPECT_TRUE(LogHas("VM start failed."));
  EXPECT_FALSE(client.vmStarted());

  bridge_.LaunchApp("com.a", "com.a.Main", "A", "/icons/a.png");
  bridge_.LaunchApp("com.c", "com.c.Main", "C", "/icons/c.png");
  EXPECT_EQ(bridge_.PendingLaunch(), "com.c/com.c.Main");

  // "Already running" starts the loop but does not send the waiting launch.
  peer->SendText(kVmClose, "0");
  ASSERT_TRUE(test::WaitFor([&] { return client.vmStarted(); }));
  bridge_.LaunchApp("com.e", "com.e.Main", "E", "/icons/e.png");
  ASSERT_TRUE(ReadType(peer.get(), kVmLaunch, &text));
  EXPECT_EQ(text, std::string("com.e/com.e.Main\0", 17));
  EXPECT_EQ(bridge_.PendingLaunch(), "com.c/com.c.Main");

  peer.reset();
  EXPECT_TRUE(LogHas("VM Connection disconnected. [result=1]."));
  EXPECT_TRUE(test::WaitFor([&] { return !client.connected() && !client.vmStarted(); }));

  // A real start sends the launch that waited.
  peer = std::make_unique<RawPeer>();
  ASSERT_TRUE(ReadType(peer.get(), kVmHello, &text));
  peer->SendText(kVmStarted, "0");
  ASSERT_TRUE(ReadType(peer.get(), kVmLaunch, &text));
  EXPECT_EQ(text, std::string("com.c/com.c.Main\0", 17));
  EXPECT_TRUE(bridge_.PendingLaunch().empty());
  EXPECT_TRUE(LogHas("VM Connection connected. [result=1]."));
  EXPECT_TRUE(LogHas("VM start complete."));
}

TEST_F(VmEventsTest, GreetsAPlayerThatConnectedBeforeTheServerWasStored) {
  // A waiting player is reported on the bridge thread before br_CreateServer returns. This
  // server reports nothing, so the report is made by hand in that order.
  bridge_.DeleteServer();
  VmBridgeClient& client = bridge_;
  LUMConnectEvent events(client, loop_);
  VmServer* server = br_CreateServer(kVmServerName, nullptr);
  RawPeer peer;
  ASSERT_TRUE(test::WaitFor([&] { return server->IsConnected(); }));
  events.OnConnected(true);
  client.AttachServer(server);
  std::string text;
  ASSERT_TRUE(ReadType(&peer, kVmHello, &text));
  EXPECT_EQ(text, std::string("0\0", 2));
}

TEST_F(VmEventsTest, ALaunchGoesOutOnceWhetherTheVmStartsBeforeOrAfterItIsKept) {
  RawPeer peer;
  std::string text;
  ASSERT_TRUE(ReadType(&peer, kVmHello, &text));
  VmBridgeClient& client = bridge_;
  LUMConnectEvent events(client, loop_);
  VmMessage started{kVmStarted, 2, "0"};
  client.LaunchApp("com.a", "com.a.Main", "A", "/icons/a.png");
  events.OnMessage(&started);
  // Stopped again (the player went and came back): LaunchApp finds it so, then the start and
  // its flush run before it keeps the launch.
  events.OnDisconnected(true);
  events.OnConnected(true);
  events.OnMessage(&started);
  EXPECT_FALSE(client.KeepLaunch("com.b/com.b.Main"));

  client.SendSplash("icon", "end");
  std::vector<std::string> launches;
  vmbridge::Frame frame;
  while (peer.Read(&frame) && frame.type != kVmSplash)
    if (frame.type == kVmLaunch) launches.push_back(frame.data);
  EXPECT_EQ(launches, (std::vector<std::string>{std::string("com.a/com.a.Main\0", 17),
                                                std::string("com.b/com.b.Main\0", 17)}));
  EXPECT_TRUE(client.PendingLaunch().empty());
}

TEST_F(VmEventsTest, RunsTasksOneAfterAnotherAndEndsTheOneInFlightWithCodeOneOnDisconnect) {
  test::TempDir files;
  std::string big = files / "big.apk";
  ASSERT_EQ(truncate((test::WriteFile(big, ""), big).c_str(), 20971520), 0);
  loop_.AddTask(std::make_shared<ApkInstallTask>(big, "com.big"));
  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.old"));
  loop_.AddTask(std::make_shared<ApkInstallTask>(files / "missing.apk", "com.missing"));
  EXPECT_EQ(loop_.PendingCount(), 3u);

  RawPeer peer;
  std::string text;
  ASSERT_TRUE(ReadType(&peer, kVmHello, &text));
  ui_.WaitFor(MSG_INSTALL_START.id, 1, 300);
  EXPECT_TRUE(ui_.messages().empty()) << "tasks wait for the VM";

  peer.SendText(kVmStarted, "0");
  ASSERT_TRUE(ReadType(&peer, kVmInstall, &text));
  EXPECT_EQ(text, big + '\0');
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_START.id));
  EXPECT_FALSE(ui_.WaitFor(MSG_UNINSTALL_START.id, 1, 300)) << "the next task waits for the result";
  peer.SendText(kVmInstall, "7");
  ASSERT_TRUE(ReadType(&peer, kVmUninstall, &text));
  EXPECT_EQ(text, std::string("com.old\0", 8));
  peer.SendText(kVmUninstall, "0");
  ASSERT_TRUE(ReadType(&peer, kVmInstall, &text));
  peer.Close();
  ASSERT_TRUE(ui_.WaitFor(MSG_INSTALL_DONE.id, 2));

  std::vector<UiMessage> expected = {
      {MSG_INSTALL_START.id, "com.big", 2},     {MSG_INSTALL_DONE.id, "com.big", 7},
      {MSG_UNINSTALL_START.id, "com.old", 0},   {MSG_UNINSTALL_DONE.id, "com.old", 0},
      {MSG_INSTALL_START.id, "com.missing", 1}, {MSG_INSTALL_DONE.id, "com.missing", 1},
  };
  EXPECT_EQ(ui_.messages(), expected);
  EXPECT_TRUE(LogHas("com.missing install complete, akt is closed."));
  EXPECT_TRUE(LogHas("com.big install complete. [err=7]"));
  EXPECT_TRUE(LogHas("com.old uninstall complete. [err=0]"));
}

TEST_F(VmEventsTest, AResultWithNoTaskInFlightDoesNotCutTheNextTasksWaitShort) {
  RawPeer peer;
  std::string text;
  ASSERT_TRUE(ReadType(&peer, kVmHello, &text));
  // The bridge handles messages in order: each time the window comes forward, what was sent
  // before has been handled. The stray result arrives once the loop waits for tasks.
  peer.SendText(kVmStarted, "0");
  peer.SendText(kVmHello, "0");
  ASSERT_TRUE(ui_.WaitFor(MSG_SHOW_MAIN));
  peer.SendText(kVmUninstall, "0");
  peer.SendText(kVmHello, "0");
  ASSERT_TRUE(ui_.WaitFor(MSG_SHOW_MAIN, 2));

  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.a"));
  loop_.AddTask(std::make_shared<ApkUninstallTask>("com.b"));
  ASSERT_TRUE(ReadType(&peer, kVmUninstall, &text));
  EXPECT_EQ(text, std::string("com.a\0", 6));
  EXPECT_FALSE(ui_.WaitFor(MSG_UNINSTALL_START.id, 2, 300)) << "com.b waits for the result";
  peer.SendText(kVmUninstall, "0");
  ASSERT_TRUE(ReadType(&peer, kVmUninstall, &text));
  EXPECT_EQ(text, std::string("com.b\0", 6));
  peer.SendText(kVmUninstall, "0");
  ASSERT_TRUE(ui_.WaitFor(MSG_UNINSTALL_DONE.id, 2));
  std::vector<UiMessage> expected = {
      {MSG_SHOW_MAIN, "", 0},
      {MSG_SHOW_MAIN, "", 0},
      {MSG_UNINSTALL_START.id, "com.a", 0},
      {MSG_UNINSTALL_DONE.id, "com.a", 0},
      {MSG_UNINSTALL_START.id, "com.b", 0},
      {MSG_UNINSTALL_DONE.id, "com.b", 0},
  };
  EXPECT_EQ(ui_.messages(), expected);
}

TEST_F(VmEventsTest, AFloodOfFramesRaisesTheWindowAFewTimesASecondAndLogsLittle) {
  auto start = std::chrono::steady_clock::now();
  RawPeer peer;
  std::string text;
  ASSERT_TRUE(ReadType(&peer, kVmHello, &text));
  std::string flood;
  for (int i = 0; i < 20000; ++i)
    flood += vmbridge::EncodeFrame(kVmSplash, "a;b", 4) +
             vmbridge::EncodeFrame(kVmStarted, "0", 2) + vmbridge::EncodeFrame(kVmStarted, "x", 2);
  ASSERT_TRUE(peer.SendBytes(flood));
  peer.Close();
  // The bridge handles frames in order: once it reports the close, the flood is through.
  ASSERT_TRUE(LogHas("VM Connection disconnected."));
  platform::PumpUiLoop();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A few a second, over however long the flood took here.
  double bound = 5 + 5 * seconds;
  std::string log = test::LumoLogText(home_);
  EXPECT_LE(ui_.Of(MSG_SHOW_MAIN).size(), bound);
  EXPECT_LE(test::CountOf(log, "VM start complete."), bound);
  EXPECT_LE(test::CountOf(log, "VM start failed."), bound);
}

}  // namespace
}  // namespace lumo
