#include "components/player/device-frames.h"

#include <algorithm>
#include <cctype>

namespace runbox {

namespace {

constexpr std::size_t kMaxAddresses = 32;
constexpr std::size_t kMaxSerial = 128;
constexpr std::size_t kMaxMessage = 300;

// A field of a kDevices or kConnectDevice line: no tab, line end or NUL of its own.
std::string Field(std::string text, std::size_t limit = kMaxMessage) {
  for (char& c : text)
    if (c == '\t' || c == '\n' || c == '\r' || c == '\0') c = ' ';
  if (text.size() > limit) text.resize(limit);
  return text;
}

}  // namespace

bool IsDeviceSerial(std::string_view serial) {
  return !serial.empty() && serial.size() <= kMaxSerial &&
         std::all_of(serial.begin(), serial.end(), [](char c) { return c > ' ' && c < 127; });
}

std::optional<DeviceChoice> ParseDeviceChoice(std::string_view text) {
  DeviceChoice choice;
  bool picked = false;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return std::nullopt;
    std::string_view key = line.substr(0, tab), value = line.substr(tab + 1);
    if (key == "pick" && !picked && IsDeviceSerial(value)) {
      choice.pick = std::string(value);
      picked = true;
    } else if (key == "address" && IsDeviceAddress(value) &&
               choice.addresses.size() < kMaxAddresses) {
      if (std::find(choice.addresses.begin(), choice.addresses.end(), value) ==
          choice.addresses.end())
        choice.addresses.emplace_back(value);
    } else {
      return std::nullopt;
    }
  }
  if (!picked) return std::nullopt;
  return choice;
}

std::string DevicesText(const DeviceList& list, const std::string& inUse) {
  std::string text = list.adbFound ? "adb\tok" : "adb\tmissing";
  for (const DeviceInfo& device : list.devices) {
    bool usable = device.adb.state == "device";
    std::string abis;
    for (const std::string& abi : device.abis) abis += (abis.empty() ? "" : ",") + abi;
    text += "\ndevice\t" + Field(device.adb.serial) + "\t" + Field(device.adb.state) + "\t" +
            (usable ? Field(device.adb.model) : "") + "\t" + (usable ? Field(device.release) : "") +
            "\t" + (usable ? Field(abis) : "") + "\t" +
            (!inUse.empty() && device.adb.serial == inUse ? "1" : "0");
  }
  return text;
}

std::string ConnectAnswerText(bool connected, const std::string& address,
                              const std::string& message) {
  return std::string(connected ? "0" : "1") + "\t" + Field(address) + "\t" + Field(message);
}

}  // namespace runbox
