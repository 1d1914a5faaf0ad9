#pragma once

#include <map>
#include <string>
#include <vector>

#include "components/player/adb-client.h"
#include "components/player/device-frames.h"

namespace runbox {

// Finds the Android devices adb can reach and reads from each in state "device" what Lumo
// shows of it. Runs on the player's request thread only.
class DeviceFinder {
 public:
  explicit DeviceFinder(Adb* adb) : adb_(adb) {}
  // What Lumo's device choice asks for: (re)starts adb's server, connects each address, then
  // lists the devices.
  DeviceList Find(const std::vector<std::string>& addresses);
  // `adb devices -l`; a device's release and ABIs are read when it comes into state "device"
  // and kept while it stays there.
  DeviceList List();
  // `adb connect ADDRESS`, then a list. True when the device is then in state "device";
  // `message` is adb's answer, or why the device cannot be used.
  bool Connect(const std::string& address, std::string* message, DeviceList* list);

 private:
  DeviceInfo Details(const AdbDevice& device);
  std::string Property(const std::string& serial, const std::string& name);

  Adb* adb_;
  std::map<std::string, DeviceInfo> usable_;  // by serial: the devices last seen in state device
};

}  // namespace runbox
