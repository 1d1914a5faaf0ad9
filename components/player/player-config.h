#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace runbox {

// How this player runs. Lumo starts the player with no arguments, so everything comes from the
// environment (tests set it) with defaults for a real session; flags override it. Each field
// has a variable RUNBOX_<NAME> and a flag --<name>: SERVER, DATA_DIR, BOOT_MS, BOOT_RESULT,
// HEADLESS, DEVICE, ADDRESSES (comma-separated), DEVICE_POLL_MS, ADB, AAPT, INSTALL_RATE
// (bytes per second), IDLE_EXIT_MS, ABIS (comma-separated).
struct PlayerConfig {
  std::string serverName = "andkite0";  // the bridge server to connect to
  std::string dataDir;                  // installed packages and the player's log
  int bootMs = 3000;                    // how long the VM takes to boot
  int bootResult = 0;                   // what the boot reports: 0 started, else failed
  bool headless = false;                // no window (also when there is no display)
  // The device used until Lumo sends its choice: "auto", "demo" or a serial, and the network
  // devices to connect to first.
  std::string device = "auto";
  std::vector<std::string> addresses;
  int devicePollMs = 3000;  // how often adb's list is read again, to notice a device unplugged
  std::string adbPath = "adb";
  std::string aaptPath;                               // the packaging tool that checks APKs
  std::uint64_t installBytesPerSecond = 64ull << 20;  // install speed of the VM's storage
  int idleExitMs = 0;  // end after this long without Lumo; 0 waits for ever
  // Processor types the VM runs: an x86_64 image with translation for 64-bit ARM code.
  std::vector<std::string> abis = {"x86_64", "x86", "arm64-v8a"};
};

// Reads RUNBOX_* variables, then "--name=value" flags. False with `error` on a bad value.
bool LoadPlayerConfig(int argc, char** argv, PlayerConfig* config, std::string* error);

}  // namespace runbox
