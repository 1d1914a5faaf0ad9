#include "components/player/player-config.h"

#include <cstdlib>
#include <sstream>
#include <unistd.h>

#include "platform/file-system.h"

namespace runbox {

namespace {

bool ParseInt(const std::string& text, long long low, long long high, long long* value) {
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) items.push_back(item);
  return items;
}

std::string ExeFolder() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  std::string full(path, static_cast<std::size_t>(n));
  return full.substr(0, full.rfind('/'));
}

// The packaging tool beside the player wins over the system's.
std::string DefaultAapt() {
  std::string beside = ExeFolder() + "/aapt";
  if (access(beside.c_str(), X_OK) == 0) return beside;
  return "/usr/bin/aapt";
}

bool Apply(const std::string& key, const std::string& value, PlayerConfig* config,
           std::string* error) {
  long long number = 0;
  auto numeric = [&](long long low, long long high) {
    if (ParseInt(value, low, high, &number)) return true;
    *error = "bad value for " + key + ": \"" + value + "\"";
    return false;
  };
  if (key == "server")
    config->serverName = value;
  else if (key == "data-dir")
    config->dataDir = value;
  else if (key == "headless")
    config->headless = value != "0";
  else if (key == "device")
    config->device = value.empty() ? "auto" : value;
  else if (key == "addresses")
    config->addresses = SplitList(value);
  else if (key == "adb")
    config->adbPath = value;
  else if (key == "aapt")
    config->aaptPath = value;
  else if (key == "abis")
    config->abis = SplitList(value);
  else if (key == "boot-ms") {
    if (!numeric(0, 600000)) return false;
    config->bootMs = int(number);
  } else if (key == "boot-result") {
    if (!numeric(-1000, 1000)) return false;
    config->bootResult = int(number);
  } else if (key == "device-poll-ms") {
    if (!numeric(100, 3600000)) return false;
    config->devicePollMs = int(number);
  } else if (key == "idle-exit-ms") {
    if (!numeric(0, 86400000)) return false;
    config->idleExitMs = int(number);
  } else if (key == "install-rate") {
    if (!numeric(1, 1ll << 40)) return false;
    config->installBytesPerSecond = static_cast<std::uint64_t>(number);
  } else {
    *error = "unknown option " + key;
    return false;
  }
  return true;
}

}  // namespace

bool LoadPlayerConfig(int argc, char** argv, PlayerConfig* config, std::string* error) {
  config->dataDir = lumo::platform::LocalAppDataFolder() + "/LUMPlayer";
  config->aaptPath = DefaultAapt();
  static const char* const kKeys[] = {
      "server", "data-dir", "headless", "device",      "addresses",    "device-poll-ms", "adb",
      "aapt",   "abis",     "boot-ms",  "boot-result", "idle-exit-ms", "install-rate"};
  for (const char* key : kKeys) {
    std::string name = "RUNBOX_";
    for (const char* c = key; *c; ++c) name += *c == '-' ? '_' : char(std::toupper(*c));
    const char* value = std::getenv(name.c_str());
    if (value && !Apply(key, value, config, error)) return false;
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) continue;
    std::size_t equals = arg.find('=');
    std::string key = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    std::string value = equals == std::string::npos ? "1" : arg.substr(equals + 1);
    if (!Apply(key, value, config, error)) return false;
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) config->headless = true;
  return true;
}

}  // namespace runbox
