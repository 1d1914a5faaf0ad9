// Any text adb or a device may print, and any device choice Lumo may send: the readers never
// crash, keep their bounds, and what they keep is well formed; a choice read back from its
// own lines is the same choice, and the device list has seven fields on every device line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/package-name.h"
#include "components/player/adb-output.h"
#include "components/player/device-frames.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::size_t CountOf(const std::string& text, char c) {
  std::size_t count = 0;
  for (char x : text) count += x == c;
  return count;
}

void CheckDevices(std::string_view text) {
  std::vector<runbox::AdbDevice> devices = runbox::ParseAdbDevices(text);
  Check(devices.size() <= 64);
  runbox::DeviceList list{true, {}};
  for (const runbox::AdbDevice& device : devices) {
    Check(runbox::IsDeviceSerial(device.serial) && !device.state.empty());
    list.devices.push_back({device, runbox::ParsePropertyValue(text), runbox::ParseAbiList(text)});
  }
  std::optional<runbox::AdbDevice> chosen = runbox::ChooseDevice(devices, "auto");
  Check(!chosen || chosen->state == "device");
  std::string listed = runbox::DevicesText(list, chosen ? chosen->serial : "");
  Check(CountOf(listed, '\n') == devices.size());
  Check(CountOf(listed, '\t') == 1 + 6 * devices.size());
}

void CheckChoice(std::string_view text) {
  std::optional<runbox::DeviceChoice> choice = runbox::ParseDeviceChoice(text);
  if (!choice) return;
  std::string again = "pick\t" + choice->pick + "\n";
  for (const std::string& address : choice->addresses) again += "address\t" + address + "\n";
  Check(runbox::ParseDeviceChoice(again) == choice);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckDevices(text);
  CheckChoice(text);
  for (const std::string& name : runbox::ParsePackageList(text))
    Check(lumo::IsValidPackageName(name));
  Check(runbox::ParseAbiList(text).size() <= 16);
  std::string property = runbox::ParsePropertyValue(text);
  Check(property.size() <= 92 && property.find_first_of("\t\n\r") == std::string::npos);
  std::string resumed = runbox::ParseResumedActivity(text);
  Check(resumed.empty() || lumo::IsValidPackageName(resumed.substr(0, resumed.find('/'))));
  std::string failure = runbox::InstallFailureName(text);
  Check(failure.empty() || failure.rfind("INSTALL_", 0) == 0);
  int code = runbox::InstallFailureCode(failure);
  Check(code >= 2 && code <= 14);
  runbox::ParseDfAvailableKb(text);
  runbox::ParsePidof(text);
  runbox::ClassifyAmStart(text);
  runbox::UninstallResult(text);
  return 0;
}
