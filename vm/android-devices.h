#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/device-address.h"

namespace lumo {

// An Android device or emulator as the player's adb sees it.
struct AndroidDevice {
  std::string serial;  // "R58M123ABC", "127.0.0.1:5555"
  std::string state;   // adb's word: device, unauthorized, offline, ...
  std::string model;   // empty until the device is in state device
  std::string release;
  std::string abis;  // "arm64-v8a,armeabi-v7a"
  bool inUse = false;
};

// What the player reported last: whether it has adb at all, and the devices. None in use
// means games go to the built-in demo VM.
struct AndroidDevices {
  bool reported = false;  // false until a player has said anything
  bool adbFound = false;
  std::vector<AndroidDevice> devices;

  const AndroidDevice* InUse() const;
};

// The player's answer to a network device the user added.
struct DeviceConnectResult {
  bool connected = false;
  std::string address;
  std::string message;
};

inline constexpr std::size_t kMaxAndroidDevices = 32;
inline constexpr std::size_t kMaxDeviceAddresses = 16;

// The player's device list: an "adb\tok|missing" line, then "device\tSERIAL\tSTATE\tMODEL\t
// RELEASE\tABIS\t1|0" lines. False for text that is not such a list; lines that are not device
// lines, fields that are too long or not printable, and devices past the cap are left out.
bool ParseAndroidDevices(std::string_view text, AndroidDevices* devices);
// "0\tHOST:PORT\tMESSAGE" or "1\tHOST:PORT\tMESSAGE"; false for anything else.
bool ParseDeviceConnectResult(std::string_view text, DeviceConnectResult* result);

// The comma list setting.ini keeps, split, with what is not an address left out.
std::vector<std::string> SplitDeviceAddresses(std::string_view list);
std::string JoinDeviceAddresses(const std::vector<std::string>& addresses);

// What Lumo tells the player to use: "pick\tauto|demo|SERIAL", then an "address\tHOST:PORT"
// line for each network device.
std::string DeviceChoiceText(const std::string& pick, const std::vector<std::string>& addresses);

// What the user should do about a device in this state; empty when it is ready.
std::string DeviceStateAdvice(const std::string& state);
// One line for the main window: which Android is in use and how it is.
std::string DescribeAndroidInUse(const AndroidDevices& devices);
// One line for the settings list: model, serial, Android version and ABIs, or the advice.
std::string DescribeDevice(const AndroidDevice& device);

}  // namespace lumo
