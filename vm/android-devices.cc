#include "vm/android-devices.h"

#include <algorithm>

namespace lumo {

namespace {

constexpr std::size_t kMaxText = std::size_t{64} * 1024;
constexpr std::size_t kMaxField = 128;
constexpr std::size_t kMaxMessage = 512;

// The next piece of `text` up to `separator` (or its end); `text` keeps what follows.
std::string_view Cut(std::string_view* text, char separator) {
  std::size_t end = text->find(separator);
  std::string_view piece = text->substr(0, end);
  text->remove_prefix(end == std::string_view::npos ? text->size() : end + 1);
  return piece;
}

// Printable ASCII or UTF-8 beyond it; no control characters, no tabs.
bool IsPlainField(std::string_view field, std::size_t limit) {
  return field.size() <= limit && std::none_of(field.begin(), field.end(), [](char c) {
           return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
         });
}

bool ParseDeviceLine(std::string_view line, AndroidDevice* device) {
  std::string_view fields[7];
  for (std::string_view& field : fields) {
    field = Cut(&line, '\t');
    if (!IsPlainField(field, kMaxField)) return false;
  }
  if (fields[0] != "device" || fields[1].empty() || fields[2].empty() || !line.empty() ||
      (fields[6] != "0" && fields[6] != "1"))
    return false;
  *device = {std::string(fields[1]), std::string(fields[2]), std::string(fields[3]),
             std::string(fields[4]), std::string(fields[5]), fields[6] == "1"};
  return true;
}

}  // namespace

const AndroidDevice* AndroidDevices::InUse() const {
  for (const AndroidDevice& device : devices)
    if (device.inUse) return &device;
  return nullptr;
}

bool ParseAndroidDevices(std::string_view text, AndroidDevices* devices) {
  if (text.size() > kMaxText) return false;
  std::string_view first = Cut(&text, '\n');
  if (first != "adb\tok" && first != "adb\tmissing") return false;
  AndroidDevices parsed;
  parsed.reported = true;
  parsed.adbFound = first == "adb\tok";
  bool inUse = false;
  while (!text.empty() && parsed.devices.size() < kMaxAndroidDevices) {
    AndroidDevice device;
    if (!ParseDeviceLine(Cut(&text, '\n'), &device)) continue;
    // One device at most is in use, and only one adb can reach.
    device.inUse = device.inUse && !inUse && device.state == "device";
    inUse = inUse || device.inUse;
    parsed.devices.push_back(std::move(device));
  }
  *devices = std::move(parsed);
  return true;
}

bool ParseDeviceConnectResult(std::string_view text, DeviceConnectResult* result) {
  if (text.size() > kMaxText) return false;
  std::string_view code = Cut(&text, '\t');
  std::string_view address = Cut(&text, '\t');
  if ((code != "0" && code != "1") || !IsDeviceAddress(address)) return false;
  std::string_view message = text.substr(0, std::min(text.size(), kMaxMessage));
  if (!IsPlainField(message, kMaxMessage)) message = {};
  *result = {code == "0", std::string(address), std::string(message)};
  return true;
}

std::vector<std::string> SplitDeviceAddresses(std::string_view list) {
  std::vector<std::string> addresses;
  while (!list.empty() && addresses.size() < kMaxDeviceAddresses) {
    std::string_view address = Cut(&list, ',');
    if (IsDeviceAddress(address) &&
        std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.emplace_back(address);
  }
  return addresses;
}

std::string JoinDeviceAddresses(const std::vector<std::string>& addresses) {
  std::string list;
  for (const std::string& address : addresses) list += (list.empty() ? "" : ",") + address;
  return list;
}

std::string DeviceChoiceText(const std::string& pick, const std::vector<std::string>& addresses) {
  std::string text = "pick\t" + (pick.empty() ? std::string("auto") : pick) + "\n";
  for (const std::string& address : addresses) text += "address\t" + address + "\n";
  return text;
}

std::string DeviceStateAdvice(const std::string& state) {
  if (state == "device") return {};
  if (state == "unauthorized") return "在手机上允许 USB 调试";
  if (state == "offline") return "设备已离线，请重新连接";
  if (state.find("permission") != std::string::npos) return "没有访问此设备的权限，请检查 USB 设置";
  if (state == "authorizing" || state == "connecting") return "正在连接，请稍候";
  return "设备暂不可用（" + state + "）";
}

std::string DescribeAndroidInUse(const AndroidDevices& devices) {
  if (const AndroidDevice* device = devices.InUse())
    return "安卓设备：" + (device->model.empty() ? device->serial : device->model) + " · 已连接";
  if (devices.reported && !devices.adbFound) return "安卓设备：演示虚拟机（未找到 adb）";
  for (const AndroidDevice& device : devices.devices)
    if (!DeviceStateAdvice(device.state).empty())
      return "安卓设备：演示虚拟机 · " + device.serial + "：" + DeviceStateAdvice(device.state);
  return "安卓设备：演示虚拟机";
}

std::string DescribeDevice(const AndroidDevice& device) {
  std::string advice = DeviceStateAdvice(device.state);
  if (!advice.empty()) return device.serial + " · " + advice;
  std::string line =
      (device.model.empty() ? std::string("Android") : device.model) + " · " + device.serial;
  if (!device.release.empty()) line += " · Android " + device.release;
  if (!device.abis.empty()) line += " · " + device.abis;
  return line;
}

}  // namespace lumo
