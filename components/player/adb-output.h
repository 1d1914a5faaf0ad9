#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Readers of what adb and the device's own tools print. Everything here comes from another
// process and a device that may be anyone's, so each reader takes plain text of any shape,
// bounds what it keeps and never backtracks.
namespace runbox {

// One line of `adb devices -l`.
struct AdbDevice {
  std::string serial;
  std::string state;  // "device", "unauthorized", "offline", "no permissions", ...
  std::string model;  // "Pixel 7"; adb writes spaces as '_'
  std::string product;
};

std::vector<AdbDevice> ParseAdbDevices(std::string_view text);
// What the user can do about a device in `state`; empty for a usable one.
std::string StateAdvice(const std::string& state);
// The device to use: the one the user picked when adb lists it, else the only one in state
// "device", else none. A picked device that is listed but not usable is still the one chosen,
// so that its state is shown rather than another device silently used.
std::optional<AdbDevice> ChooseDevice(const std::vector<AdbDevice>& devices,
                                      const std::string& picked);

// `pm list packages` lines "package:NAME"; names that are not package names are left out.
std::set<std::string> ParsePackageList(std::string_view text);
// `getprop ro.product.cpu.abilist`: "arm64-v8a,armeabi-v7a".
std::vector<std::string> ParseAbiList(std::string_view text);
// `df -k /data`: the kilobytes available on the data partition.
std::optional<std::uint64_t> ParseDfAvailableKb(std::string_view text);
// The component "package/full.Class" of the resumed activity in `dumpsys activity
// activities`; empty when there is none.
std::string ParseResumedActivity(std::string_view text);

// The package manager's failure name in an install's output ("INSTALL_FAILED_OLDER_SDK"),
// empty when there is none, and the player's result code for it.
std::string InstallFailureName(std::string_view output);
int InstallFailureCode(const std::string& failureName);

}  // namespace runbox
