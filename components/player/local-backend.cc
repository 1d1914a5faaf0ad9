#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "apk/apk-bundle.h"
#include "components/player/package-backend.h"
#include "components/player/result-codes.h"
#include "platform/file-system.h"

namespace runbox {

namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

// The VM of this player: an install copies the package into the VM's storage at the storage's
// speed, so a bigger package takes longer.
class LocalBackend final : public PackageBackend {
 public:
  LocalBackend(const PlayerConfig& config, PackageRecord* record, const std::atomic<bool>* cancel)
      : config_(config), record_(record), cancel_(cancel) {}

  int Install(const std::string& apkPath, const PackageFacts& facts, std::string* detail) override {
    if (!lumo::platform::MakeDirs(record_->dataDir() + "/apps")) {
      *detail = "cannot make " + record_->dataDir() + "/apps";
      return kStorageFailed;
    }
    std::string target = record_->PackageFile(facts.name);
    if (target.empty()) {
      *detail = "\"" + facts.name + "\" is not a package name";
      return kNotAPackage;
    }
    RemoveSplits(target);
    // A bundle's splits are stored beside its base, which goes last: the base marks it whole.
    int code = kOk;
    for (std::size_t i = 1; code == kOk && i < facts.parts.size(); ++i)
      code = Store(facts.parts[i], SplitFile(target, i), detail);
    if (code == kOk) code = Store(apkPath, target, detail);
    if (code == kOk && !record_->Put({facts.name, facts.label, facts.activity, facts.size})) {
      *detail = "cannot write the package record";
      code = kStorageFailed;
    }
    if (code != kOk) RemoveSplits(target);
    return code;
  }

  int Uninstall(const std::string& packageName, std::string* detail) override {
    if (!record_->Has(packageName)) {
      *detail = packageName + " is not installed";
      return kNotInstalled;
    }
    if (!record_->Remove(packageName)) {
      *detail = "cannot write the package record";
      return kStorageFailed;
    }
    std::remove(record_->PackageFile(packageName).c_str());
    RemoveSplits(record_->PackageFile(packageName));
    return kOk;
  }

  int Launch(const std::string& packageName, const std::string& activity,
             std::string* detail) override {
    InstalledPackage package;
    if (!record_->Get(packageName, &package)) {
      *detail = packageName + " is not installed";
      return kNotInstalled;
    }
    if (activity.empty() || (activity != package.activity && !package.activity.empty())) {
      *detail = packageName + " has no activity \"" + activity + "\"";
      return kActivityNotFound;
    }
    return kOk;
  }

  // The record on disk is the truth: it may have been changed behind the player's back.
  std::vector<InstalledPackage> Installed() override {
    std::vector<std::string> problems;
    record_->Load(&problems);
    return record_->List();
  }

  std::string Describe() const override { return "demo VM"; }

 private:
  static std::string SplitFile(const std::string& target, std::size_t index) {
    return target + ".split-" + std::to_string(index);
  }
  static void RemoveSplits(const std::string& target) {
    for (std::size_t i = 1; i <= lumo::kMaxBundleParts; ++i)
      std::remove(SplitFile(target, i).c_str());
  }

  // Copies `from` to `to` through a partial file, so a cancelled copy leaves nothing behind.
  int Store(const std::string& from, const std::string& to, std::string* detail) {
    int code = CopyAtStorageSpeed(from, to + ".part", detail);
    if (code == kOk && std::rename((to + ".part").c_str(), to.c_str()) != 0) {
      *detail = "cannot store " + to;
      code = kStorageFailed;
    }
    if (code != kOk) std::remove((to + ".part").c_str());
    return code;
  }

  int CopyAtStorageSpeed(const std::string& from, const std::string& to, std::string* detail) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
      *detail = "cannot copy " + from + " into the VM";
      return in ? kStorageFailed : kFileNotFound;
    }
    auto start = std::chrono::steady_clock::now();
    std::vector<char> buffer(kChunk);
    unsigned long long copied = 0;
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      out.write(buffer.data(), in.gcount());
      copied += static_cast<unsigned long long>(in.gcount());
      if (!out) {
        *detail = "writing " + to + " failed";
        return kStorageFailed;
      }
      if (!Throttle(start, copied)) {
        *detail = "install cancelled: the player is closing";
        return kStorageFailed;
      }
    }
    return kOk;
  }

  // Sleeps until `copied` bytes are due at the storage's speed; false when cancelled.
  bool Throttle(std::chrono::steady_clock::time_point start, unsigned long long copied) {
    auto due =
        start + std::chrono::microseconds(copied * 1000000ull / config_.installBytesPerSecond);
    while (std::chrono::steady_clock::now() < due) {
      if (cancel_->load()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !cancel_->load();
  }

  PlayerConfig config_;
  PackageRecord* record_;
  const std::atomic<bool>* cancel_;
};

}  // namespace

std::unique_ptr<PackageBackend> CreateAdbBackend(const std::string& serial, const Adb* adb,
                                                 PackageRecord* labels);

std::unique_ptr<PackageBackend> CreatePackageBackend(const PlayerConfig& config,
                                                     const std::string& serial, const Adb* adb,
                                                     PackageStores stores,
                                                     const std::atomic<bool>* cancel) {
  if (!serial.empty()) return CreateAdbBackend(serial, adb, stores.deviceLabels);
  return std::make_unique<LocalBackend>(config, stores.vm, cancel);
}

}  // namespace runbox
