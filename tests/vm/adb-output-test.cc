// The player's readers of what adb and the device print, fed the texts real tools write.
#include "components/player/adb-output.h"

#include <gtest/gtest.h>

#include "components/player/result-codes.h"

namespace runbox {
namespace {

TEST(AdbOutput, DeviceListKeepsEveryDeviceStateAndSkipsWhatAdbSaysOfItself) {
  std::vector<AdbDevice> devices = ParseAdbDevices(
      "* daemon not running; starting now at tcp:5037\n"
      "* daemon started successfully\n"
      "adb server version (41) doesn't match this client (39); killing...\n"
      "List of devices attached\n"
      "emulator-5554          device product:sdk_gphone64 model:Pixel_7 device:emu64 "
      "transport_id:1\r\n"
      "R58M12AB               unauthorized usb:1-1 transport_id:2\n"
      "0123456789ABCDEF       no permissions (user in plugdev group; are your udev rules "
      "wrong?); see [http://developer.android.com/tools/device.html] usb:1-2 transport_id:3\n"
      "192.168.1.5:5555       offline transport_id:4\n"
      "error: protocol fault (couldn't read status): Connection reset by peer\n"
      "\n");
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].serial, "emulator-5554");
  EXPECT_EQ(devices[0].state, "device");
  EXPECT_EQ(devices[0].model, "Pixel 7");
  EXPECT_EQ(devices[0].product, "sdk gphone64");
  EXPECT_EQ(devices[1].state, "unauthorized");
  EXPECT_EQ(devices[1].model, "");
  EXPECT_EQ(devices[2].serial, "0123456789ABCDEF");
  EXPECT_EQ(devices[2].state, "no permissions");
  EXPECT_EQ(devices[3].serial, "192.168.1.5:5555");
  EXPECT_EQ(devices[3].state, "offline");
  EXPECT_TRUE(ParseAdbDevices("List of devices attached\n\n").empty());

  EXPECT_EQ(StateAdvice("device"), "");
  EXPECT_EQ(StateAdvice("unauthorized"), "在手机上允许 USB 调试");
  EXPECT_EQ(StateAdvice("offline"), "设备已离线，请重新连接");
}

TEST(AdbOutput, PackagesAbisAndPropertiesKeepOnlyWellFormedValues) {
  EXPECT_EQ(ParsePackageList("package:com.lumo.alpha\r\n"
                             "package:/data/app/~~x==/com.lumo.beta-1/base.apk=com.lumo.beta\n"
                             "package:../../etc\n"
                             "package:com.lumo.bad name\n"
                             "package:com..lumo\n"
                             "Error: java.lang.SecurityException\n"
                             "  package:com.lumo.gamma  \n"),
            (std::set<std::string>{"com.lumo.alpha", "com.lumo.beta", "com.lumo.gamma"}));
  EXPECT_TRUE(ParsePackageList("").empty());

  EXPECT_EQ(ParseAbiList("arm64-v8a,armeabi-v7a, armeabi,arm64-v8a,,x86;rm\r\n"),
            (std::vector<std::string>{"arm64-v8a", "armeabi-v7a", "armeabi"}));
  EXPECT_EQ(ParseAbiList("x86_64\nsecond line,x86\n"), std::vector<std::string>{"x86_64"});
  EXPECT_TRUE(ParseAbiList("\n").empty());

  EXPECT_EQ(ParsePropertyValue("  Pixel\t7 \x1b[31m\r\nnext\n"), "Pixel 7 [31m");
  EXPECT_EQ(ParsePropertyValue(std::string(300, 'x')).size(), 92u);
  EXPECT_TRUE(ParsePidof("12345\n"));
  EXPECT_TRUE(ParsePidof("12345 12346\n"));
  EXPECT_FALSE(ParsePidof(""));
  EXPECT_FALSE(ParsePidof("pidof: not found\n"));
}

TEST(AdbOutput, FreeSpaceIsTheAvailableColumnOfTheDataLineEvenWhenTheNameWraps) {
  EXPECT_EQ(ParseDfAvailableKb("Filesystem     1K-blocks    Used Available Use% Mounted on\n"
                               "/dev/block/dm-48 115717644 7353132 108233440   7% /data\n"),
            108233440u);
  EXPECT_EQ(
      ParseDfAvailableKb("Filesystem           1K-blocks      Used Available Use% Mounted on\n"
                         "/dev/block/bootdevice/by-name/userdata\n"
                         "                       5000000   4999000      1000 100% /data\n"),
      1000u);
  EXPECT_FALSE(ParseDfAvailableKb("/data: 12.3G total, 1.2G used, 11.1G available\n"));
  EXPECT_FALSE(
      ParseDfAvailableKb("Filesystem 1K-blocks Used Available\n/dev/x 10 5 -3 0% /data\n"));
  EXPECT_FALSE(
      ParseDfAvailableKb("Filesystem 1K-blocks Used Available\n"
                         "/dev/x 1 1 99999999999999999999999 1% /data\n"));
  EXPECT_FALSE(ParseDfAvailableKb("df: /data: Permission denied\n"));
}

TEST(AdbOutput, TheResumedActivityIsTheCurrentOneNotTheLastResumedOne) {
  EXPECT_EQ(ParseResumedActivity("ACTIVITY MANAGER ACTIVITIES (dumpsys activity activities)\n"
                                 "  mLastResumedActivity: ActivityRecord{9f u0 com.old/.Main t3}\n"
                                 "    mResumedActivity: ActivityRecord{a1b2 u0 com.lumo.alpha/"
                                 ".MainActivity t12}\n"
                                 "  topResumedActivity=ActivityRecord{c3 u0 com.other/.X t9}\n"),
            "com.lumo.alpha/com.lumo.alpha.MainActivity");
  EXPECT_EQ(ParseResumedActivity("  ResumedActivity:ActivityRecord{1 u0 "
                                 "com.lumo.beta/com.lumo.beta.Play t4}\n"),
            "com.lumo.beta/com.lumo.beta.Play");
  EXPECT_EQ(ParseResumedActivity("  mLastResumedActivity: ActivityRecord{9f u0 com.old/.Main t3}\n"
                                 "  mResumedActivity: null\n"),
            "");
  EXPECT_EQ(ParseResumedActivity("mResumedActivity: ActivityRecord{1 u0 ../x/.Y t1"), "");
}

TEST(AdbOutput, InstallAndLaunchAnswersMapToTheirResultCodes) {
  auto code = [](const std::string& output) {
    return InstallFailureCode(InstallFailureName(output));
  };
  EXPECT_EQ(InstallFailureName("Performing Streamed Install\nadb: failed to install a.apk: "
                               "Failure [INSTALL_FAILED_OLDER_SDK: Requires newer sdk version]"),
            "INSTALL_FAILED_OLDER_SDK");
  EXPECT_EQ(code("Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]"), kDeviceStorageFull);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_OLDER_SDK: x]"), kDeviceIncompatible);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_MISSING_FEATURE: y]"), kDeviceIncompatible);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_UPDATE_INCOMPATIBLE: signatures differ]"),
            kDeviceConflict);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_VERSION_DOWNGRADE]"), kDeviceConflict);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_NO_MATCHING_ABIS: x86]"), kNoNativeCodeForVm);
  EXPECT_EQ(code("Failure [INSTALL_PARSE_FAILED_NOT_APK: no manifest]"), kNotAPackage);
  EXPECT_EQ(code("Failure [INSTALL_FAILED_ABORTED: User rejected permissions]"), kDeviceFailed);
  EXPECT_EQ(InstallFailureName("adb: device 'X' not found"), "");
  EXPECT_EQ(InstallFailureCode(""), kDeviceFailed);

  EXPECT_TRUE(HasSuccessLine("Performing Streamed Install\r\nSuccess\r\n"));
  EXPECT_FALSE(HasSuccessLine("Failure [INSTALL_FAILED_Success]\n"));
  EXPECT_EQ(UninstallResult("Success\n"), kOk);
  EXPECT_EQ(UninstallResult("Failure [DELETE_FAILED_INTERNAL_ERROR]\n"), kNotInstalled);
  EXPECT_EQ(UninstallResult("Failure [not installed for 0]\n"), kNotInstalled);
  EXPECT_EQ(UninstallResult("adb: device offline\n"), kDeviceFailed);

  EXPECT_EQ(ClassifyAmStart("Starting: Intent { cmp=com.a/.Main }\n"), AmStart::kStarted);
  EXPECT_EQ(ClassifyAmStart("Starting: Intent { cmp=com.a/.Main }\nWarning: Activity not started, "
                            "its current task has been brought to the front\n"),
            AmStart::kStarted);
  EXPECT_EQ(ClassifyAmStart("Starting: Intent { cmp=com.a/.Gone }\nError type 3\nError: Activity "
                            "class {com.a/com.a.Gone} does not exist.\n"),
            AmStart::kTryLauncher);
  EXPECT_EQ(ClassifyAmStart("Exception occurred while executing 'start':\njava.lang."
                            "SecurityException: Permission Denial: starting Intent { cmp=com.a/"
                            ".Hidden } not exported from uid 10123\n"),
            AmStart::kTryLauncher);
  EXPECT_EQ(ClassifyAmStart("Error: Activity not started, unknown error code -96\n"),
            AmStart::kFailed);
  EXPECT_EQ(ClassifyAmStart(""), AmStart::kFailed);
  EXPECT_TRUE(MonkeyStarted("  bash arg: -p\n  bash arg: com.a\nEvents injected: 1\n"));
  EXPECT_FALSE(MonkeyStarted("** No activities found to run, monkey aborted.\n"));
}

}  // namespace
}  // namespace runbox
