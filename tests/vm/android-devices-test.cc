#include "vm/android-devices.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(AndroidDevices, ReadsThePlayersListAndKeepsOutWhatIsNotADevice) {
  AndroidDevices devices;
  ASSERT_TRUE(
      ParseAndroidDevices("adb\tok\n"
                          "device\tR58M\tdevice\tPixel 7\t14\tarm64-v8a,armeabi-v7a\t1\n"
                          "device\t127.0.0.1:5555\tunauthorized\t\t\t\t0\n"
                          "device\tbad\tdevice\t\t\t\t2\n"
                          "device\ttab\x01\tdevice\t\t\t\t0\n"
                          "printer\tx\tdevice\t\t\t\t0\n"
                          "device\tSECOND\tdevice\tTab\t13\tx86_64\t1\n",
                          &devices));
  EXPECT_TRUE(devices.adbFound);
  ASSERT_EQ(devices.devices.size(), 3u);
  EXPECT_EQ(devices.devices[0].model, "Pixel 7");
  EXPECT_EQ(devices.devices[0].abis, "arm64-v8a,armeabi-v7a");
  // Only the first of two devices said to be in use is.
  ASSERT_NE(devices.InUse(), nullptr);
  EXPECT_EQ(devices.InUse()->serial, "R58M");
  EXPECT_FALSE(devices.devices[2].inUse);
  EXPECT_EQ(DescribeAndroidInUse(devices), "安卓设备：Pixel 7 · 已连接");
  EXPECT_EQ(DescribeDevice(devices.devices[0]),
            "Pixel 7 · R58M · Android 14 · arm64-v8a,armeabi-v7a");
  EXPECT_EQ(DescribeDevice(devices.devices[1]), "127.0.0.1:5555 · 在手机上允许 USB 调试");

  // A device that waits for the user is named in the main window's line.
  ASSERT_TRUE(ParseAndroidDevices("adb\tok\ndevice\tR58M\tunauthorized\t\t\t\t1\n", &devices));
  EXPECT_EQ(devices.InUse(), nullptr);
  EXPECT_EQ(DescribeAndroidInUse(devices), "安卓设备：演示虚拟机 · R58M：在手机上允许 USB 调试");
  ASSERT_TRUE(ParseAndroidDevices("adb\tmissing", &devices));
  EXPECT_FALSE(devices.adbFound);
  EXPECT_EQ(DescribeAndroidInUse(devices), "安卓设备：演示虚拟机（未找到 adb）");
  // Anything else is not a list, and what was read before stays.
  EXPECT_FALSE(ParseAndroidDevices("device\tR58M\tdevice\t\t\t\t1\n", &devices));
  EXPECT_FALSE(devices.adbFound);
  std::string many = "adb\tok\n";
  for (int i = 0; i < 100; ++i) many += "device\tS" + std::to_string(i) + "\toffline\t\t\t\t0\n";
  ASSERT_TRUE(ParseAndroidDevices(many, &devices));
  EXPECT_EQ(devices.devices.size(), kMaxAndroidDevices);
}

TEST(AndroidDevices, NetworkAddressesAreCheckedWhereverTheyComeFrom) {
  for (const char* good :
       {"192.168.1.20:5555", "tv.local:5555", "localhost:1", "a:65535", "[fe80::1]:5555"})
    EXPECT_TRUE(IsDeviceAddress(good)) << good;
  for (const char* bad :
       {"", "host", ":5555", "host:", "host:0", "host:65536", "host:55a", "-x:5555", "a b:5555",
        "a;rm:5555", "[x]:5555", "host.:5555", "host:123456"})
    EXPECT_FALSE(IsDeviceAddress(bad)) << bad;
  EXPECT_EQ(SplitDeviceAddresses("a:1,bad,a:1,,b:2"), (std::vector<std::string>{"a:1", "b:2"}));
  EXPECT_EQ(JoinDeviceAddresses({"a:1", "b:2"}), "a:1,b:2");
  EXPECT_EQ(DeviceChoiceText("", {"a:1"}), "pick\tauto\naddress\ta:1\n");
  EXPECT_EQ(DeviceChoiceText("R58M", {}), "pick\tR58M\n");

  DeviceConnectResult result;
  ASSERT_TRUE(ParseDeviceConnectResult("0\t10.0.0.2:5555\tconnected to 10.0.0.2:5555", &result));
  EXPECT_TRUE(result.connected);
  EXPECT_EQ(result.address, "10.0.0.2:5555");
  ASSERT_TRUE(ParseDeviceConnectResult("1\t10.0.0.2:5555\tConnection refused", &result));
  EXPECT_FALSE(result.connected);
  EXPECT_EQ(result.message, "Connection refused");
  EXPECT_FALSE(ParseDeviceConnectResult("0\tnot an address\tok", &result));
  EXPECT_FALSE(ParseDeviceConnectResult("yes\t10.0.0.2:5555\t", &result));
}

}  // namespace
}  // namespace lumo
