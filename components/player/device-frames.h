#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device-address.h"
#include "components/player/adb-output.h"

// The texts of the device messages between Lumo and the player: kDevices (10) the player
// sends, kDeviceChoice (11) and kConnectDevice (12) Lumo sends. Fields are separated by tabs
// and lines by '\n'; what Lumo sends is checked field by field.
namespace runbox {

using lumo::IsDeviceAddress;

// A device adb lists, with what the player read from it while it is in state "device".
struct DeviceInfo {
  AdbDevice adb;
  std::string release;            // "14"
  std::vector<std::string> abis;  // "arm64-v8a", ...
};

struct DeviceList {
  bool adbFound = false;
  std::vector<DeviceInfo> devices;
};

struct DeviceChoice {
  std::string pick = "auto";  // "auto", "demo" or a serial
  std::vector<std::string> addresses;
  bool operator==(const DeviceChoice&) const = default;
};

// "pick\t<auto|demo|SERIAL>" once and "address\tHOST:PORT" lines; nullopt when a line is
// anything else.
std::optional<DeviceChoice> ParseDeviceChoice(std::string_view text);
// A serial as adb prints them: visible ASCII without spaces, at most 128 bytes.
bool IsDeviceSerial(std::string_view serial);

// The kDevices text: "adb\tok" or "adb\tmissing", then one "device" line per device, with
// in-use 1 on the line of `inUse` (empty when the demo VM is in use).
std::string DevicesText(const DeviceList& list, const std::string& inUse);
// The kConnectDevice answer: "0\tHOST:PORT\t<adb's message>" or "1\tHOST:PORT\t<why>".
std::string ConnectAnswerText(bool connected, const std::string& address,
                              const std::string& message);

}  // namespace runbox
