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
// The device to use for `pick` ("auto", "demo" or a serial): the picked serial when adb lists
// it in state "device"; with "auto" the only device in state "device"; else none, and the
// built-in demo VM is used.
std::optional<AdbDevice> ChooseDevice(const std::vector<AdbDevice>& devices,
                                      const std::string& pick);

// `pm list packages` lines "package:NAME"; names that are not package names are left out.
std::set<std::string> ParsePackageList(std::string_view text);
// `getprop ro.product.cpu.abilist`: "arm64-v8a,armeabi-v7a".
std::vector<std::string> ParseAbiList(std::string_view text);
// `df -k /data`: the kilobytes available on the data partition.
std::optional<std::uint64_t> ParseDfAvailableKb(std::string_view text);
// The component "package/full.Class" of the resumed activity in `dumpsys activity
// activities`; empty when there is none.
std::string ParseResumedActivity(std::string_view text);
// `getprop NAME`: the value on one line, without control characters, at most 92 bytes.
std::string ParsePropertyValue(std::string_view text);
// `pidof NAME`: true when it printed a process id.
bool ParsePidof(std::string_view text);

// What `am start -n` did: started (or brought the task to the front), refused the activity
// (missing, not exported) so that the launcher's entry may be tried, or failed otherwise.
enum class AmStart { kStarted, kTryLauncher, kFailed };
AmStart ClassifyAmStart(std::string_view output);
// `monkey -p PKG -c android.intent.category.LAUNCHER 1` sent its one launch.
bool MonkeyStarted(std::string_view output);
// `adb install` and `adb uninstall` print a line "Success" when the package manager agreed.
bool HasSuccessLine(std::string_view output);
// The result code of `adb uninstall`: kOk, kNotInstalled or kDeviceFailed.
int UninstallResult(std::string_view output);

// The package manager's failure name in an install's output ("INSTALL_FAILED_OLDER_SDK"),
// empty when there is none, and the player's result code for it.
std::string InstallFailureName(std::string_view output);
int InstallFailureCode(const std::string& failureName);

}  // namespace runbox
