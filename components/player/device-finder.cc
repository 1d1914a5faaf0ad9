#include "components/player/device-finder.h"

#include <thread>

#include "components/player/player-log.h"

namespace runbox {

namespace {

constexpr std::chrono::seconds kServerStart{30};
constexpr std::chrono::seconds kConnect{20};
// A device just connected may still be authorizing: how long it is given to come up.
constexpr int kSettleTries = 8;
constexpr auto kSettleStep = std::chrono::milliseconds(250);

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

const DeviceInfo* Listed(const DeviceList& list, const std::string& serial) {
  for (const DeviceInfo& device : list.devices)
    if (device.adb.serial == serial) return &device;
  return nullptr;
}

}  // namespace

DeviceList DeviceFinder::Find(const std::vector<std::string>& addresses) {
  if (!adb_->Find()) return {};
  AdbResult server = adb_->Run({"start-server"}, kServerStart);
  if (!server.ok()) PlayerLog("%s", server.Why("adb start-server").c_str());
  for (const std::string& address : addresses) {
    AdbResult connect = adb_->Run({"connect", address}, kConnect);
    PlayerLog("adb connect %s: %s", address.c_str(),
              connect.ran() ? FirstLine(connect.output).c_str() : connect.Why("").c_str());
  }
  return List();
}

DeviceList DeviceFinder::List() {
  DeviceList list;
  list.adbFound = adb_->found();
  if (!list.adbFound) return list;
  AdbResult devices = adb_->Run({"devices", "-l"});
  if (!devices.ok()) {
    PlayerLog("%s", devices.Why("adb devices").c_str());
    return list;
  }
  std::map<std::string, DeviceInfo> usable;
  for (const AdbDevice& device : ParseAdbDevices(devices.output)) {
    if (device.state != "device") {
      list.devices.push_back({device, {}, {}});
      continue;
    }
    auto known = usable_.find(device.serial);
    DeviceInfo info = known != usable_.end() ? known->second : Details(device);
    usable[device.serial] = info;
    list.devices.push_back(info);
  }
  usable_ = std::move(usable);
  return list;
}

DeviceInfo DeviceFinder::Details(const AdbDevice& device) {
  DeviceInfo info{device, Property(device.serial, "ro.build.version.release"), {}};
  if (info.adb.model.empty()) info.adb.model = Property(device.serial, "ro.product.model");
  info.abis = ParseAbiList(Property(device.serial, "ro.product.cpu.abilist"));
  if (info.abis.empty()) info.abis = ParseAbiList(Property(device.serial, "ro.product.cpu.abi"));
  PlayerLog("device %s: %s, Android %s, %zu ABIs", device.serial.c_str(), info.adb.model.c_str(),
            info.release.c_str(), info.abis.size());
  return info;
}

std::string DeviceFinder::Property(const std::string& serial, const std::string& name) {
  AdbResult result = adb_->Shell(serial, {"getprop", name});
  if (!result.ok()) {
    PlayerLog("%s", result.Why("getprop " + name + " on " + serial).c_str());
    return "";
  }
  return ParsePropertyValue(result.output);
}

bool DeviceFinder::Connect(const std::string& address, std::string* message, DeviceList* list) {
  *list = {};
  if (!adb_->Find()) {
    *message = "adb missing";
    return false;
  }
  AdbResult connect = adb_->Run({"connect", address}, kConnect);
  *message = connect.ran() ? FirstLine(connect.output) : connect.Why("adb connect");
  // adb lists a device it reached even when it may not use it (consent not given yet).
  const DeviceInfo* device = nullptr;
  for (int i = 0; i < kSettleTries; ++i) {
    *list = List();
    device = Listed(*list, address);
    if (!device || device->adb.state == "device" || adb_->cancelled()) break;
    std::this_thread::sleep_for(kSettleStep);
  }
  if (!device) return false;
  if (device->adb.state == "device") return true;
  *message = StateAdvice(device->adb.state);
  return false;
}

}  // namespace runbox
