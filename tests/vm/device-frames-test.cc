// The device messages between Lumo and the player: Lumo's are read field by field, the
// player's are written one line per device with fields that cannot break a line.
#include "components/player/device-frames.h"

#include <gtest/gtest.h>

namespace runbox {
namespace {

TEST(DeviceFrames, AChoiceIsOnePickAndWellFormedAddressesOrNothing) {
  std::optional<DeviceChoice> choice = ParseDeviceChoice(
      "pick\temulator-5554\naddress\t192.168.1.5:5555\naddress\tphone.lan:37001\n"
      "address\t192.168.1.5:5555\naddress\t[fe80::1]:5555\n");
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->pick, "emulator-5554");
  EXPECT_EQ(choice->addresses,
            (std::vector<std::string>{"192.168.1.5:5555", "phone.lan:37001", "[fe80::1]:5555"}));
  EXPECT_EQ(ParseDeviceChoice("pick\tauto"), (DeviceChoice{"auto", {}}));
  for (const char* bad :
       {"", "address\t1.2.3.4:5555\n", "pick\tauto\npick\tdemo\n", "pick\ta b\n",
        "pick\tauto\naddress\t1.2.3.4\n", "pick\tauto\naddress\t1.2.3.4:0\n",
        "pick\tauto\naddress\t1.2.3.4:65536\n", "pick\tauto\naddress\t-x:5555\n",
        "pick\tauto\naddress\t$(id):5555\n", "pick\tauto\nport\t5555\n", "pick auto\n"})
    EXPECT_FALSE(ParseDeviceChoice(bad)) << bad;
}

TEST(DeviceFrames, TheDeviceListHasSevenFieldsALineAndDetailsOnlyForUsableDevices) {
  DeviceList list;
  list.adbFound = true;
  list.devices = {{{"emulator-5554", "device", "Pixel\t7\nX", ""}, "14", {"arm64-v8a", "x86_64"}},
                  {{"R58M", "unauthorized", "Galaxy", ""}, "13", {"arm64-v8a"}}};
  EXPECT_EQ(DevicesText(list, "emulator-5554"),
            "adb\tok\n"
            "device\temulator-5554\tdevice\tPixel 7 X\t14\tarm64-v8a,x86_64\t1\n"
            "device\tR58M\tunauthorized\t\t\t\t0");
  EXPECT_EQ(DevicesText(list, ""),
            "adb\tok\n"
            "device\temulator-5554\tdevice\tPixel 7 X\t14\tarm64-v8a,x86_64\t0\n"
            "device\tR58M\tunauthorized\t\t\t\t0");
  EXPECT_EQ(DevicesText({}, ""), "adb\tmissing");

  EXPECT_EQ(ConnectAnswerText(true, "127.0.0.1:5555", "connected to 127.0.0.1:5555"),
            "0\t127.0.0.1:5555\tconnected to 127.0.0.1:5555");
  EXPECT_EQ(ConnectAnswerText(false, "10.0.0.9:5555", "failed:\tno\nroute"),
            "1\t10.0.0.9:5555\tfailed: no route");
}

}  // namespace
}  // namespace runbox
