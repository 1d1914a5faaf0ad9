#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "components/player/apk-check.h"
#include "components/player/package-record.h"
#include "components/player/player-config.h"

namespace runbox {

// Where packages really go: the player's own VM, or an Android device reached through adb.
// Every operation runs on the player's request thread and returns a result code; `detail`
// says what failed. The package has been checked before Install is called.
class PackageBackend {
 public:
  virtual ~PackageBackend() = default;
  virtual int Install(const std::string& apkPath, const PackageFacts& facts,
                      std::string* detail) = 0;
  virtual int Uninstall(const std::string& packageName, std::string* detail) = 0;
  virtual int Launch(const std::string& packageName, const std::string& activity,
                     std::string* detail) = 0;
  virtual std::string Describe() const = 0;
};

// The adb backend when the configuration names a device serial, else the local VM. Both keep
// `record` up to date; `cancel` ends a long install early when the player shuts down.
std::unique_ptr<PackageBackend> CreatePackageBackend(const PlayerConfig& config,
                                                     PackageRecord* record,
                                                     const std::atomic<bool>* cancel);

}  // namespace runbox
