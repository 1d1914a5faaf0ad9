// The real player with the real adb and its own server, and stand-in Android devices that adb
// reaches over TCP. Lumo's end of the bridge is spoken by hand, so every device message the
// player sends is read as it is.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/adb-stand-in.h"
#include "tests/support/apk-builder.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"

namespace lumo {
namespace {

using ::testing::HasSubstr;

constexpr std::uint32_t kInstall = 1, kUninstall = 2, kLaunch = 3, kVmStart = 4, kClose = 7,
                        kPackages = 8, kAbis = 9, kDevices = 10, kDeviceChoice = 11,
                        kConnectDevice = 12;
constexpr char kServer[] = "device-test";
constexpr char kDemoAbis[] = "x86_64,x86,arm64-v8a";

class PlayerDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, std::string>>{{"RUNBOX_SERVER", kServer},
                                                          {"RUNBOX_HEADLESS", "1"},
                                                          {"RUNBOX_BOOT_MS", "200"},
                                                          {"RUNBOX_IDLE_EXIT_MS", "60000"},
                                                          {"RUNBOX_DEVICE_POLL_MS", "300"}})
      setenv(name, value.c_str(), 1);
    unsetenv("ANDROID_SERIAL");
    setenv("ANDROID_ADB_SERVER_PORT", std::to_string(adb_.port()).c_str(), 1);
  }
  void TearDown() override {
    test::StopAllPlayers();
    for (const char* name :
         {"RUNBOX_SERVER", "RUNBOX_HEADLESS", "RUNBOX_BOOT_MS", "RUNBOX_IDLE_EXIT_MS",
          "RUNBOX_DEVICE_POLL_MS", "RUNBOX_ADDRESSES", "ANDROID_ADB_SERVER_PORT"})
      unsetenv(name);
  }

  // The built player, with the real adb or (as the sandbox has it) none.
  bool StartPlayer(bool withAdb) {
    if (withAdb) setenv("RUNBOX_ADB", "/usr/bin/adb", 1);
    return platform::SpawnDetached({LUMO_PROGRAM_DIR "/Runbox.exe"}) > 0 && lumo_.Accept();
  }
  bool ClosePlayer() {
    lumo_.SendText(kClose, "");
    return test::WaitFor([] { return test::PlayerProcesses().empty(); });
  }
  std::string Next(std::uint32_t type) {
    std::string text;
    EXPECT_TRUE(lumo_.ReadText(type, &text)) << "no message " << type;
    return text;
  }
  int Request(std::uint32_t type, const std::string& text) {
    lumo_.SendText(type, text);
    return std::atoi(Next(type).c_str());
  }
  std::string Packages() {
    lumo_.SendText(kPackages, "0");
    return Next(kPackages);
  }
  std::string Apk(const std::string& package, const std::string& label,
                  std::vector<std::string> abis = {}, std::uint64_t payloadBytes = 0) {
    return test::MakeApk(dir_.path(), package, label, std::move(abis), payloadBytes);
  }
  bool PlayerLogHas(const std::string& text) {
    return test::WaitFor(
        [&] { return test::PlayerLogText(home_).find(text) != std::string::npos; });
  }
  static std::string DeviceLine(const test::StandInDevice& device, const std::string& rest) {
    return "device\t" + device.serial() + "\t" + rest;
  }

  test::SandboxHome home_;
  test::TempDir dir_;
  test::PrivateAdb adb_;
  test::RawLumo lumo_{kServer};
};

TEST_F(PlayerDeviceTest, AConnectedDeviceTakesOverAndItsGamesGoThroughTheRealAdb) {
  std::string alpha = Apk("com.lumo.alpha", "Alpha", {"arm64-v8a"});
  std::string hidden = Apk("com.lumo.hidden", "Hidden");
  std::string pc = Apk("com.lumo.pc", "PC", {"x86"});
  std::string big = Apk("com.lumo.big", "Big", {}, 3 << 20);
  std::string state = dir_ / "phone";
  test::StandInDevice phone({"--model=Lumo Phone", "--abis=arm64-v8a,armeabi-v7a", "--free-kb=2000",
                             "--not-exported=com.lumo.hidden.MainActivity",
                             "--state-file=" + state});
  ASSERT_TRUE(phone.running());
  ASSERT_TRUE(StartPlayer(true));
  EXPECT_EQ(Next(kDevices), "adb\tok");
  EXPECT_EQ(Next(kAbis), kDemoAbis);
  EXPECT_EQ(Next(kVmStart), "0");

  std::string s = phone.serial();
  lumo_.SendText(kConnectDevice, s);
  EXPECT_EQ(Next(kConnectDevice), "0\t" + s + "\tconnected to " + s);
  EXPECT_EQ(Next(kDevices),
            "adb\tok\n" + DeviceLine(phone, "device\tLumo Phone\t14\tarm64-v8a,armeabi-v7a\t1"));
  EXPECT_EQ(Next(kAbis), "arm64-v8a,armeabi-v7a");
  EXPECT_EQ(Next(kVmStart), "0");

  EXPECT_EQ(Request(kInstall, alpha), 0);
  EXPECT_EQ(Request(kInstall, hidden), 0);
  EXPECT_EQ(Request(kInstall, pc), 4) << "x86 code is checked against the device's ABIs";
  EXPECT_EQ(Request(kInstall, big), 12);
  auto kb = [](const std::string& apk) { return (std::filesystem::file_size(apk) + 1023) / 1024; };
  EXPECT_TRUE(
      PlayerLogHas("the device has " + std::to_string(2000 - kb(alpha) - kb(hidden)) + " KB free"));
  EXPECT_EQ(Packages(), ".\ncom.lumo.alpha\ncom.lumo.hidden\n");

  EXPECT_EQ(Request(kLaunch, "com.lumo.alpha/com.lumo.alpha.MainActivity"), 0);
  EXPECT_THAT(test::ReadFile(state),
              HasSubstr("resumed\tcom.lumo.alpha/com.lumo.alpha.MainActivity"));
  EXPECT_TRUE(PlayerLogHas("now playing: Alpha (com.lumo.alpha)"));
  // An activity the device will not start from outside: the launcher's entry starts the game.
  EXPECT_EQ(Request(kLaunch, "com.lumo.hidden/.MainActivity"), 0);
  EXPECT_THAT(test::ReadFile(state),
              HasSubstr("resumed\tcom.lumo.hidden/com.lumo.hidden.MainActivity"));

  EXPECT_EQ(Request(kUninstall, "com.lumo.alpha"), 0);
  EXPECT_EQ(Request(kUninstall, "com.lumo.alpha"), 5);
  EXPECT_EQ(Request(kLaunch, "com.lumo.alpha/com.lumo.alpha.MainActivity"), 5);
  EXPECT_EQ(Packages(), ".\ncom.lumo.hidden\n");
  EXPECT_THAT(test::ReadFile(state), ::testing::Not(HasSubstr("com.lumo.alpha")));
  EXPECT_TRUE(ClosePlayer());
}

TEST_F(PlayerDeviceTest, LumosPickDecidesAmongDevicesAndAnUnpluggedOneGivesWayToTheDemoVm) {
  std::string alpha = Apk("com.lumo.alpha", "Alpha");
  test::StandInDevice phone({"--abis=arm64-v8a"});
  auto strict = std::make_unique<test::StandInDevice>(std::vector<std::string>{
      "--model=Old Tab", "--release=7", "--refuse-install=INSTALL_FAILED_OLDER_SDK"});
  test::StandInDevice locked({"--unauthorized"});
  ASSERT_TRUE(phone.running() && strict->running() && locked.running());

  // No adb program: the demo VM, whatever Lumo picks.
  ASSERT_TRUE(StartPlayer(false));
  EXPECT_EQ(Next(kDevices), "adb\tmissing");
  EXPECT_EQ(Next(kAbis), kDemoAbis);
  lumo_.SendText(kDeviceChoice, "pick\tauto\naddress\t" + phone.serial() + "\n");
  EXPECT_EQ(Next(kDevices), "adb\tmissing");
  ASSERT_TRUE(ClosePlayer());

  // The addresses of the player's configuration are connected as it starts.
  setenv("RUNBOX_ADDRESSES", phone.serial().c_str(), 1);
  ASSERT_TRUE(StartPlayer(true));
  std::string usable = "device\tPixel 7\t14\tarm64-v8a\t";
  EXPECT_EQ(Next(kDevices), "adb\tok\n" + DeviceLine(phone, usable + "1"));
  EXPECT_EQ(Next(kAbis), "arm64-v8a");

  // Two usable devices and "auto": the user has to pick, and the demo VM serves meanwhile.
  std::string addresses = "address\t" + phone.serial() + "\naddress\t" + strict->serial() + "\n";
  lumo_.SendText(kDeviceChoice, "pick\tauto\n" + addresses);
  std::string old = DeviceLine(*strict, "device\tOld Tab\t7\tarm64-v8a,armeabi-v7a,armeabi\t");
  std::string devices = Next(kDevices);
  EXPECT_THAT(devices, HasSubstr(DeviceLine(phone, usable + "0")));
  EXPECT_THAT(devices, HasSubstr(old + "0"));
  EXPECT_EQ(Next(kAbis), kDemoAbis);
  EXPECT_EQ(Next(kVmStart), "0");

  lumo_.SendText(kDeviceChoice, "pick\t" + strict->serial() + "\n" + addresses);
  EXPECT_THAT(Next(kDevices), HasSubstr(old + "1"));
  EXPECT_EQ(Request(kInstall, alpha), 13);

  lumo_.SendText(kConnectDevice, locked.serial());
  EXPECT_EQ(Next(kConnectDevice), "1\t" + locked.serial() + "\t在手机上允许 USB 调试");
  EXPECT_THAT(Next(kDevices), HasSubstr(DeviceLine(locked, "unauthorized\t\t\t\t0")));
  lumo_.SendText(kConnectDevice, "127.0.0.1:1");
  EXPECT_THAT(Next(kConnectDevice), HasSubstr("1\t127.0.0.1:1\t"));
  lumo_.SendText(kConnectDevice, "127.0.0.1:1;reboot");
  EXPECT_THAT(Next(kConnectDevice), HasSubstr("1\t127.0.0.1:1;reboot\t"));

  // The device in use goes away: the demo VM, which runs already, takes over.
  strict.reset();
  EXPECT_EQ(Next(kAbis), kDemoAbis);
  EXPECT_EQ(Next(kVmStart), "0");
  EXPECT_EQ(Request(kInstall, alpha), 0);
  EXPECT_TRUE(ClosePlayer());
}

}  // namespace
}  // namespace lumo
