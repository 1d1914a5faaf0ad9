// Any text adb or a device may print: the readers never crash, keep their bounds, and what
// they keep is well formed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/package-name.h"
#include "components/player/adb-output.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckDevices(std::string_view text) {
  std::vector<runbox::AdbDevice> devices = runbox::ParseAdbDevices(text);
  Check(devices.size() <= 64);
  for (const runbox::AdbDevice& device : devices)
    Check(!device.serial.empty() && device.serial.find_first_of(" \t\n") == std::string::npos &&
          !device.state.empty());
  std::optional<runbox::AdbDevice> chosen = runbox::ChooseDevice(devices, "auto");
  Check(!chosen || chosen->state == "device");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckDevices(text);
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
