#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "components/player/adb-client.h"
#include "components/player/device-finder.h"
#include "components/player/device-frames.h"
#include "components/player/package-backend.h"
#include "components/player/package-record.h"
#include "components/player/player-config.h"

namespace runbox {

// Which target serves the requests: the demo VM, or the device the choice rule gives among
// those adb lists. Lives on the player's request thread: every member function runs there,
// so a backend is never replaced under a request.
class TargetSwitch {
 public:
  TargetSwitch(const PlayerConfig& config, PackageRecord* vmRecord,
               const std::atomic<bool>* cancel);
  ~TargetSwitch();

  // Lumo's choice: (re)starts adb's server, connects the addresses, lists the devices and
  // follows the rule. True when the target changed.
  bool Choose(const DeviceChoice& choice);
  // Lists the devices again under the last choice, so that an unplugged device gives way to
  // the demo VM and a returning one takes over again. True when the target changed.
  bool Refresh();
  // `adb connect ADDRESS` and the kConnectDevice answer; the target then follows the rule.
  std::string Connect(const std::string& address, bool* changed);

  PackageBackend& backend() {
    CheckThread();
    return *backend_;
  }
  const std::string& serial() const { return serial_; }  // empty for the demo VM
  bool adbFound() const { return list_.adbFound; }
  // The target's processor types: the device's, or the demo VM's.
  const std::vector<std::string>& abis() const { return abis_; }
  std::string model() const { return model_; }
  std::string DevicesText() const { return runbox::DevicesText(list_, serial_); }

 private:
  bool Apply(DeviceList list);
  // Asserts (in debug builds) that the caller is the thread of the first call.
  void CheckThread();

  PlayerConfig config_;
  PackageRecord* vmRecord_;
  PackageRecord deviceLabels_;
  const std::atomic<bool>* cancel_;
  Adb adb_;
  DeviceFinder finder_{&adb_};
  DeviceChoice choice_;
  DeviceList list_;
  std::string serial_;
  std::string model_;
  std::vector<std::string> abis_;
  std::unique_ptr<PackageBackend> backend_;
  std::thread::id thread_;
};

}  // namespace runbox
