// The stand-in device driven by the real adb client and server, as the player drives a phone.
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/adb-stand-in.h"
#include "tests/support/apk-builder.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo::test {

namespace {

using ::testing::HasSubstr;

std::string BuildGame(const TempDir& dir, const std::string& name, const std::string& abi,
                      std::uint64_t payload) {
  ApkSpec recipe;
  recipe.packageName = name;
  recipe.nativeAbis = {abi};
  recipe.payloadBytes = payload;
  std::string path = dir / (name + ".apk");
  std::string error;
  EXPECT_TRUE(BuildApk(recipe, path, &error)) << error;
  return path;
}

// The "Available" column of "df -k /data".
long AvailableKb(const std::string& df) {
  std::istringstream rows(df.substr(df.find('\n') + 1));
  std::string filesystem;
  long total = 0, used = 0, available = -1;
  rows >> filesystem >> total >> used >> available;
  return available;
}

// The line "adb devices" prints for the device.
std::string LineOf(const std::string& devices, const std::string& serial) {
  std::size_t at = devices.find(serial + " ");
  return at == std::string::npos ? "" : devices.substr(at, devices.find('\n', at) - at);
}

}  // namespace

TEST(AdbStandInDevice, RealAdbInstallsStartsAndUninstallsAGameOnIt) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/adb")) << "scripts/setup.sh installs adb";
  TempDir dir;
  // A game of 600 kB crosses several of adb's packets; the free space holds it and no more.
  std::string game = BuildGame(dir, "com.lumo.game", "arm64-v8a", 600 * std::uint64_t{1024});
  std::string x86 = BuildGame(dir, "com.lumo.pc", "x86", 0);
  std::string big = BuildGame(dir, "com.lumo.big", "arm64-v8a", 1500 * std::uint64_t{1024});
  StandInDevice device({"--model=Lumo Phone", "--abis=arm64-v8a,armeabi-v7a", "--free-kb=2000",
                        "--state-file=" + dir / "state"});
  ASSERT_TRUE(device.running());
  PrivateAdb adb;
  ASSERT_TRUE(adb.Connect(device));
  std::string s = device.serial();

  EXPECT_THAT(LineOf(adb.Run({"devices", "-l"}).text, s),
              HasSubstr(" device product:lumo_phone model:Lumo_Phone device:lumo "));
  EXPECT_EQ(adb.Run({"-s", s, "shell", "getprop", "ro.product.cpu.abilist"}).text,
            "arm64-v8a,armeabi-v7a\n");
  EXPECT_THAT(adb.Run({"-s", s, "shell", "getprop"}).text,
              HasSubstr("[ro.product.model]: [Lumo Phone]\n"));

  platform::ProcessOutput install = adb.Run({"-s", s, "install", game});
  EXPECT_EQ(install.exitCode, 0) << install.text;
  EXPECT_THAT(install.text, HasSubstr("Success"));
  long gameKb = static_cast<long>((std::filesystem::file_size(game) + 1023) / 1024);
  EXPECT_THAT(ReadFile(dir / "state"),
              HasSubstr("package\tcom.lumo.game\tcom.lumo.game.MainActivity\t" +
                        std::to_string(gameKb) + "\n"));
  EXPECT_EQ(AvailableKb(adb.Run({"-s", s, "shell", "df", "-k", "/data"}).text), 2000 - gameKb);
  install = adb.Run({"-s", s, "install", x86});
  EXPECT_NE(install.exitCode, 0);
  EXPECT_THAT(install.text, HasSubstr("Failure [INSTALL_FAILED_NO_MATCHING_ABIS"));
  install = adb.Run({"-s", s, "install", big});
  EXPECT_NE(install.exitCode, 0);
  EXPECT_THAT(install.text, HasSubstr("Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]"));
  EXPECT_EQ(adb.Run({"-s", s, "shell", "pm", "list", "packages", "-3"}).text,
            "package:com.lumo.game\n");

  EXPECT_EQ(adb.Run({"-s", s, "shell", "am", "start", "-n", "com.lumo.game/.MainActivity"}).text,
            "Starting: Intent { cmp=com.lumo.game/.MainActivity }\n");
  EXPECT_THAT(adb.Run({"-s", s, "shell", "dumpsys", "activity", "activities"}).text,
              HasSubstr(" u0 com.lumo.game/.MainActivity t"));
  EXPECT_NE(std::atoi(adb.Run({"-s", s, "shell", "pidof", "com.lumo.game"}).text.c_str()), 0);
  EXPECT_THAT(adb.Run({"-s", s, "shell", "am", "start", "-n", "com.lumo.game/.Missing"}).text,
              HasSubstr("Error type 3\nError: Activity class {com.lumo.game/com.lumo.game.Missing} "
                        "does not exist.\n"));

  EXPECT_THAT(adb.Run({"-s", s, "uninstall", "com.lumo.game"}).text, HasSubstr("Success"));
  EXPECT_EQ(adb.Run({"-s", s, "shell", "pm", "list", "packages", "-3"}).text, "");
  EXPECT_EQ(adb.Run({"-s", s, "shell", "pidof", "com.lumo.game"}).text, "");
  EXPECT_THAT(adb.Run({"-s", s, "shell", "dumpsys", "activity", "activities"}).text,
              HasSubstr(" u0 com.android.launcher3/.Launcher t"));
  EXPECT_THAT(adb.Run({"-s", s, "uninstall", "com.lumo.game"}).text,
              HasSubstr("Failure [DELETE_FAILED_INTERNAL_ERROR]"));
}

TEST(AdbStandInDevice, ConsentRefusalsAndKeptStateReachAdbAsAPhoneShowsThem) {
  TempDir dir;
  WriteFile(dir / "state", "package\tcom.lumo.game\tcom.lumo.game.MainActivity\t3\n");
  StandInDevice locked({"--unauthorized"});
  StandInDevice strict({"--state-file=" + dir / "state",
                        "--not-exported=com.lumo.game.MainActivity",
                        "--refuse-install=INSTALL_FAILED_VERSION_DOWNGRADE"});
  ASSERT_TRUE(locked.running() && strict.running());
  PrivateAdb adb;

  adb.Run({"connect", locked.serial()});
  EXPECT_TRUE(WaitFor([&] {
    return adb.Run({"devices"}).text.find(locked.serial() + "\tunauthorized\n") !=
           std::string::npos;
  }));
  EXPECT_THAT(adb.Run({"-s", locked.serial(), "shell", "getprop"}).text, HasSubstr("unauthorized"));

  ASSERT_TRUE(adb.Connect(strict));
  std::string s = strict.serial();
  EXPECT_EQ(adb.Run({"-s", s, "shell", "pm", "list", "packages", "-3"}).text,
            "package:com.lumo.game\n");
  std::string start =
      adb.Run({"-s", s, "shell", "am", "start", "-n", "com.lumo.game/.MainActivity"}).text;
  EXPECT_THAT(start, HasSubstr("Error: Permission Denial: starting Intent"));
  EXPECT_THAT(start, HasSubstr("not exported"));
  EXPECT_THAT(adb.Run({"-s", s, "shell", "dumpsys", "activity", "activities"}).text,
              HasSubstr(" u0 com.android.launcher3/.Launcher t"));
  EXPECT_THAT(adb.Run({"-s", s, "shell", "monkey", "-p", "com.lumo.game", "-c",
                       "android.intent.category.LAUNCHER", "1"})
                  .text,
              HasSubstr("Events injected: 1\n"));
  EXPECT_THAT(ReadFile(dir / "state"),
              HasSubstr("resumed\tcom.lumo.game/com.lumo.game.MainActivity\n"));

  std::string game = BuildGame(dir, "com.lumo.game", "armeabi-v7a", 0);
  platform::ProcessOutput install = adb.Run({"-s", s, "install", game});
  EXPECT_NE(install.exitCode, 0);
  EXPECT_THAT(install.text, HasSubstr("Failure [INSTALL_FAILED_VERSION_DOWNGRADE]"));
}

}  // namespace lumo::test
