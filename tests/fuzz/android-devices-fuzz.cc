// Any text a player may send as its device list or its answer to a network device: parsing
// never crashes, stays within its caps, and keeps only fields a user can be shown.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vm/android-devices.h"

namespace {

bool Plain(const std::string& field) {
  for (char c : field)
    if (static_cast<unsigned char>(c) < 0x20 || c == '\t' || c == 0x7f) return false;
  return field.size() <= 512;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  lumo::AndroidDevices devices;
  if (lumo::ParseAndroidDevices(text, &devices)) {
    if (devices.devices.size() > lumo::kMaxAndroidDevices) __builtin_trap();
    int inUse = 0;
    for (const lumo::AndroidDevice& device : devices.devices) {
      if (!Plain(device.serial) || !Plain(device.model) || !Plain(device.state)) __builtin_trap();
      inUse += device.inUse ? 1 : 0;
      lumo::DescribeDevice(device);
    }
    if (inUse > 1) __builtin_trap();
    lumo::DescribeAndroidInUse(devices);
  }
  lumo::DeviceConnectResult result;
  if (lumo::ParseDeviceConnectResult(text, &result) &&
      (!lumo::IsDeviceAddress(result.address) || !Plain(result.message)))
    __builtin_trap();
  for (const std::string& address : lumo::SplitDeviceAddresses(text))
    if (!lumo::IsDeviceAddress(address)) __builtin_trap();
  return 0;
}
