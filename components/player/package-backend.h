#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "components/player/adb-client.h"
#include "components/player/apk-check.h"
#include "components/player/package-record.h"
#include "components/player/player-config.h"

namespace runbox {

// Where packages really go: the player's own demo VM, or an Android device reached through
// adb. Every operation runs on the player's request thread and returns a result code;
// `detail` says what failed. The package has been checked before Install is called.
class PackageBackend {
 public:
  virtual ~PackageBackend() = default;
  virtual int Install(const std::string& apkPath, const PackageFacts& facts,
                      std::string* detail) = 0;
  virtual int Uninstall(const std::string& packageName, std::string* detail) = 0;
  virtual int Launch(const std::string& packageName, const std::string& activity,
                     std::string* detail) = 0;
  // The games the target holds, with the labels and activities the player knows of them.
  virtual std::vector<InstalledPackage> Installed() = 0;
  virtual std::string Describe() const = 0;
};

// What the backends keep: the demo VM's packages, and the labels of the games the player put
// on devices (a device knows its packages but not the names Lumo shows).
struct PackageStores {
  PackageRecord* vm = nullptr;
  PackageRecord* deviceLabels = nullptr;
};

// The adb backend for the device `serial`, or the demo VM when `serial` is empty. `cancel`
// ends a long install early when the player shuts down.
std::unique_ptr<PackageBackend> CreatePackageBackend(const PlayerConfig& config,
                                                     const std::string& serial, const Adb* adb,
                                                     PackageStores stores,
                                                     const std::atomic<bool>* cancel);

}  // namespace runbox
