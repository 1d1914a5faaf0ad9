#include "components/player/adb-output.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "apk/package-name.h"
#include "components/player/result-codes.h"

namespace runbox {

namespace {

constexpr std::size_t kMaxDevices = 64;
constexpr std::size_t kMaxPackages = 20000;
constexpr std::size_t kMaxAbis = 16;
constexpr std::size_t kMaxField = 128;
constexpr std::size_t kMaxPackageName = 255;
constexpr std::size_t kMaxProperty = 92;  // Android's own limit on a property value

// Calls `take` with each line, without its line end, until it returns false.
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!take(line) || end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size() && fields.size() < 32) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    std::size_t start = at;
    while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    if (at > start) fields.push_back(line.substr(start, at - start));
  }
  return fields;
}

bool Printable(std::string_view text) {
  return !text.empty() && text.size() <= kMaxField &&
         std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 127; });
}

// Lumo's own rule, so that every name the player reports is one Lumo accepts.
bool IsPackageName(std::string_view name) {
  return name.size() <= kMaxPackageName && lumo::IsValidPackageName(std::string(name));
}

// The states adb prints; anything else on a line is a message of adb's, not a device.
bool IsAdbState(std::string_view state) {
  static constexpr std::string_view kStates[] = {
      "device",   "offline", "unauthorized", "authorizing", "connecting", "bootloader",
      "recovery", "rescue",  "sideload",     "host",        "detached",   "unknown"};
  return std::find(std::begin(kStates), std::end(kStates), state) != std::end(kStates);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<AdbDevice> ParseAdbDevices(std::string_view text) {
  std::vector<AdbDevice> devices;
  ForEachLine(text, [&](std::string_view line) {
    // "SERIAL  STATE [key:value ...]"; the state "no permissions" has a space of its own.
    std::vector<std::string_view> fields = Fields(line);
    if (fields.size() < 2 || !Printable(fields[0])) return true;
    AdbDevice device{std::string(fields[0]), std::string(fields[1]), {}, {}};
    if (fields[1] == "no" && fields.size() > 2 && fields[2] == "permissions")
      device.state = "no permissions";
    else if (!IsAdbState(fields[1]))
      return true;
    for (std::string_view field : fields) {
      std::size_t colon = field.find(':');
      if (colon == std::string_view::npos || !Printable(field)) continue;
      std::string_view key = field.substr(0, colon);
      std::string value(field.substr(colon + 1));
      std::replace(value.begin(), value.end(), '_', ' ');
      if (key == "model") device.model = value;
      if (key == "product") device.product = value;
    }
    devices.push_back(std::move(device));
    return devices.size() < kMaxDevices;
  });
  return devices;
}

std::string StateAdvice(const std::string& state) {
  if (state == "device") return "";
  if (state == "unauthorized") return "在手机上允许 USB 调试";
  if (state == "offline") return "设备已离线，请重新连接";
  if (state == "no permissions") return "没有访问此 USB 设备的权限：检查 udev 规则后重新插入";
  if (state == "authorizing" || state == "connecting") return "正在连接设备，请稍候";
  return "设备状态为 " + state + "，暂时无法使用";
}

std::optional<AdbDevice> ChooseDevice(const std::vector<AdbDevice>& devices,
                                      const std::string& pick) {
  if (pick == "demo") return std::nullopt;
  if (pick != "auto") {
    for (const AdbDevice& device : devices)
      if (device.serial == pick && device.state == "device") return device;
    return std::nullopt;
  }
  std::optional<AdbDevice> only;
  for (const AdbDevice& device : devices) {
    if (device.state != "device") continue;
    if (only) return std::nullopt;  // more than one: the user has to pick
    only = device;
  }
  return only;
}

std::set<std::string> ParsePackageList(std::string_view text) {
  std::set<std::string> packages;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    constexpr std::string_view kPrefix = "package:";
    if (line.substr(0, kPrefix.size()) != kPrefix) return true;
    line.remove_prefix(kPrefix.size());
    // `pm list packages -f` writes "package:PATH=NAME"; the name follows the last '='.
    std::size_t equals = line.rfind('=');
    if (equals != std::string_view::npos) line.remove_prefix(equals + 1);
    if (IsPackageName(line)) packages.emplace(line);
    return packages.size() < kMaxPackages;
  });
  return packages;
}

std::vector<std::string> ParseAbiList(std::string_view text) {
  std::vector<std::string> abis;
  text = Trim(text.substr(0, text.find('\n')));
  while (!text.empty() && abis.size() < kMaxAbis) {
    std::size_t comma = text.find(',');
    std::string_view abi = Trim(text.substr(0, comma));
    bool valid =
        !abi.empty() && abi.size() <= 32 && std::all_of(abi.begin(), abi.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        });
    if (valid && std::find(abis.begin(), abis.end(), abi) == abis.end()) abis.emplace_back(abi);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return abis;
}

std::optional<std::uint64_t> ParseDfAvailableKb(std::string_view text) {
  // A header, then "FILESYSTEM 1K-BLOCKS USED AVAILABLE USE% MOUNTED-ON"; a long device name
  // may put the numbers on a line of their own.
  std::optional<std::uint64_t> available;
  bool header = false;
  ForEachLine(text, [&](std::string_view line) {
    std::vector<std::string_view> fields = Fields(line);
    if (fields.empty()) return true;
    if (!header) {
      header = fields[0] == "Filesystem";
      return true;
    }
    std::size_t first = std::isdigit(static_cast<unsigned char>(fields[0].front())) ? 0 : 1;
    if (fields.size() < first + 3) return true;
    std::string_view number = fields[first + 2];
    if (number.empty() || number.size() > 18 ||
        !std::all_of(number.begin(), number.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      return false;
    std::uint64_t value = 0;
    for (char c : number) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    available = value;
    return false;
  });
  return available;
}

namespace {

// True when the word holding `line[marker]` is the resumed activity itself: "mResumedActivity",
// "topResumedActivity" or "ResumedActivity", not "mLastResumedActivity".
bool IsResumedMarker(std::string_view line, std::size_t marker) {
  std::size_t start = marker;
  while (start > 0 && !std::isspace(static_cast<unsigned char>(line[start - 1]))) --start;
  std::string_view prefix = line.substr(start, marker - start);
  return prefix.empty() || prefix == "m" || prefix == "top";
}

// "pkg/.Main" or "pkg/pkg.Main" as "pkg/pkg.Main"; empty when it is not a component.
std::string Component(std::string_view field) {
  std::size_t slash = field.find('/');
  if (slash == std::string_view::npos) return "";
  std::string_view package = field.substr(0, slash);
  std::string_view cls = field.substr(slash + 1);
  if (!IsPackageName(package) || cls.empty() || !Printable(cls)) return "";
  return std::string(package) + "/" + (cls.front() == '.' ? std::string(package) : "") +
         std::string(cls);
}

}  // namespace

std::string ParseResumedActivity(std::string_view text) {
  constexpr std::string_view kMarker = "ResumedActivity";
  std::string component;
  ForEachLine(text, [&](std::string_view line) {
    // "mResumedActivity: ActivityRecord{a1b2c3 u0 pkg/.Main t12}".
    std::size_t marker = line.find(kMarker);
    if (marker == std::string_view::npos || !IsResumedMarker(line, marker)) return true;
    std::size_t record = line.find('{', marker);
    std::size_t close = record == std::string_view::npos ? record : line.find('}', record);
    if (close == std::string_view::npos) return true;
    for (std::string_view field : Fields(line.substr(record + 1, close - record - 1))) {
      component = Component(field);
      if (!component.empty()) return false;
    }
    return true;
  });
  return component;
}

std::string ParsePropertyValue(std::string_view text) {
  std::string value(Trim(text.substr(0, text.find('\n'))));
  // A property is one line of text; what could break a frame field goes.
  std::replace(value.begin(), value.end(), '\t', ' ');
  value.erase(
      std::remove_if(value.begin(), value.end(),
                     [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 127; }),
      value.end());
  if (value.size() > kMaxProperty) value.resize(kMaxProperty);
  return value;
}

bool ParsePidof(std::string_view text) {
  std::vector<std::string_view> fields = Fields(text.substr(0, text.find('\n')));
  return !fields.empty() && fields[0].size() <= 10 &&
         std::all_of(fields[0].begin(), fields[0].end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

AmStart ClassifyAmStart(std::string_view output) {
  // The activity is not there or may not be started from outside its package: the launcher's
  // own way in may still work.
  for (std::string_view refusal : {"does not exist", "not exported", "Permission Denial",
                                   "SecurityException", "unable to resolve Intent"})
    if (output.find(refusal) != std::string_view::npos) return AmStart::kTryLauncher;
  if (output.find("Error") != std::string_view::npos ||
      output.find("Exception") != std::string_view::npos)
    return AmStart::kFailed;
  return output.find("Starting") != std::string_view::npos ? AmStart::kStarted : AmStart::kFailed;
}

bool MonkeyStarted(std::string_view output) {
  return output.find("Events injected: 1") != std::string_view::npos &&
         output.find("monkey aborted") == std::string_view::npos;
}

bool HasSuccessLine(std::string_view output) {
  bool success = false;
  ForEachLine(output, [&](std::string_view line) {
    success = Trim(line) == "Success";
    return !success;
  });
  return success;
}

int UninstallResult(std::string_view output) {
  if (HasSuccessLine(output)) return kOk;
  for (std::string_view missing :
       {"DELETE_FAILED_INTERNAL_ERROR", "Unknown package", "not installed"})
    if (output.find(missing) != std::string_view::npos) return kNotInstalled;
  return kDeviceFailed;
}

std::string InstallFailureName(std::string_view output) {
  for (std::string_view prefix : {"INSTALL_FAILED_", "INSTALL_PARSE_FAILED_"}) {
    std::size_t at = output.find(prefix);
    if (at == std::string_view::npos) continue;
    std::size_t end = at;
    while (end < output.size() && end - at < 64 &&
           (std::isupper(static_cast<unsigned char>(output[end])) ||
            std::isdigit(static_cast<unsigned char>(output[end])) || output[end] == '_'))
      ++end;
    return std::string(output.substr(at, end - at));
  }
  return "";
}

int InstallFailureCode(const std::string& name) {
  auto is = [&](const char* failure) { return name == std::string("INSTALL_FAILED_") + failure; };
  if (name.rfind("INSTALL_PARSE_FAILED_", 0) == 0 || is("INVALID_APK") || is("INVALID_URI") ||
      is("NO_CERTIFICATES"))
    return kNotAPackage;
  if (is("NO_MATCHING_ABIS") || is("CPU_ABI_INCOMPATIBLE")) return kNoNativeCodeForVm;
  if (is("INSUFFICIENT_STORAGE") || is("MEDIA_UNAVAILABLE")) return kDeviceStorageFull;
  if (is("OLDER_SDK") || is("NEWER_SDK") || is("MISSING_FEATURE") || is("MISSING_SHARED_LIBRARY") ||
      is("TEST_ONLY"))
    return kDeviceIncompatible;
  if (is("UPDATE_INCOMPATIBLE") || is("SHARED_USER_INCOMPATIBLE") || is("VERSION_DOWNGRADE") ||
      is("ALREADY_EXISTS") || is("DUPLICATE_PACKAGE") || is("DUPLICATE_PERMISSION") ||
      is("CONFLICTING_PROVIDER"))
    return kDeviceConflict;
  return kDeviceFailed;
}

}  // namespace runbox
