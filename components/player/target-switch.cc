#include "components/player/target-switch.h"

#include <cassert>

#include "components/player/player-log.h"

namespace runbox {

TargetSwitch::TargetSwitch(const PlayerConfig& config, PackageRecord* vmRecord,
                           const std::atomic<bool>* cancel)
    : config_(config),
      vmRecord_(vmRecord),
      deviceLabels_(config.dataDir + "/device"),
      cancel_(cancel),
      adb_(config.adbPath, cancel),
      abis_(config.abis) {
  std::vector<std::string> problems;
  deviceLabels_.Load(&problems);
  for (const std::string& problem : problems) PlayerLog("device labels: %s", problem.c_str());
  backend_ = CreatePackageBackend(config_, "", &adb_, {vmRecord_, &deviceLabels_}, cancel_);
}

TargetSwitch::~TargetSwitch() = default;

void TargetSwitch::CheckThread() {
  if (thread_ == std::thread::id()) thread_ = std::this_thread::get_id();
  assert(thread_ == std::this_thread::get_id());
}

bool TargetSwitch::Choose(const DeviceChoice& choice) {
  CheckThread();
  choice_ = choice;
  DeviceList list = finder_.Find(choice.addresses);
  if (!list.adbFound)
    PlayerLog("no adb program \"%s\": the demo VM serves", config_.adbPath.c_str());
  return Apply(std::move(list));
}

bool TargetSwitch::Refresh() {
  CheckThread();
  if (!list_.adbFound) return false;
  return Apply(finder_.List());
}

std::string TargetSwitch::Connect(const std::string& address, bool* changed) {
  CheckThread();
  std::string message;
  DeviceList list;
  bool connected = finder_.Connect(address, &message, &list);
  PlayerLog("connect %s: %s (%s)", address.c_str(), connected ? "usable" : "not usable",
            message.c_str());
  *changed = Apply(std::move(list));
  return ConnectAnswerText(connected, address, message);
}

bool TargetSwitch::Apply(DeviceList list) {
  std::vector<AdbDevice> devices;
  for (const DeviceInfo& device : list.devices) devices.push_back(device.adb);
  std::optional<AdbDevice> chosen = ChooseDevice(devices, choice_.pick);
  std::string serial = chosen ? chosen->serial : "";
  list_ = std::move(list);
  if (serial == serial_) return false;
  // The old backend goes first: it ends what it started for its device.
  backend_.reset();
  serial_ = serial;
  abis_ = config_.abis;
  model_.clear();
  for (const DeviceInfo& device : list_.devices) {
    if (device.adb.serial != serial_) continue;
    abis_ = device.abis;
    model_ = device.adb.model;
  }
  backend_ = CreatePackageBackend(config_, serial_, &adb_, {vmRecord_, &deviceLabels_}, cancel_);
  PlayerLog("target: %s", backend_->Describe().c_str());
  return true;
}

}  // namespace runbox
