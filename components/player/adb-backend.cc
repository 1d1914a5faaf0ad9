#include <set>
#include <thread>

#include "components/player/adb-output.h"
#include "components/player/child-process.h"
#include "components/player/package-backend.h"
#include "components/player/player-log.h"
#include "components/player/result-codes.h"
#include "platform/file-system.h"

namespace runbox {

namespace {

// How long a launched game has to show up on the device, and how often it is looked for.
constexpr auto kLaunchBound = std::chrono::seconds(5);
constexpr auto kLaunchStep = std::chrono::milliseconds(250);
constexpr auto kLaunchQuery = std::chrono::seconds(3);

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// An install sends the whole package over adb's link: a long limit, longer for a bigger one.
std::chrono::milliseconds InstallTimeout(unsigned long long bytes) {
  return std::chrono::seconds(120) + std::chrono::milliseconds(bytes / 1024);
}

// A real Android device or emulator, reached through adb by its serial. The device is the
// truth of what is installed; the player keeps only the labels of what it put there.
class AdbBackend final : public PackageBackend {
 public:
  AdbBackend(std::string serial, const Adb* adb, PackageRecord* labels)
      : serial_(std::move(serial)), adb_(adb), labels_(labels) {
    ReadInstalled();
  }

  int Install(const std::string& apkPath, const PackageFacts& facts, std::string* detail) override {
    int code = CheckSpace(facts, detail);
    if (code != kOk) return code;
    // A bundle's parts go in as one package.
    std::vector<std::string> arguments = {facts.parts.empty() ? "install" : "install-multiple",
                                          "-r"};
    if (facts.parts.empty()) arguments.push_back(apkPath);
    arguments.insert(arguments.end(), facts.parts.begin(), facts.parts.end());
    AdbResult result = adb_->OnDevice(serial_, arguments, InstallTimeout(facts.size));
    ReadInstalled();
    if (!result.ran()) {
      *detail = result.Why("adb install");
      return kDeviceFailed;
    }
    if (!HasSuccessLine(result.output)) {
      std::string failure = InstallFailureName(result.output);
      *detail = "device refused " + facts.name + ": " +
                (failure.empty() ? FirstLine(result.output) : failure);
      return failure.empty() ? kDeviceFailed : InstallFailureCode(failure);
    }
    if (!lumo::platform::MakeDirs(labels_->dataDir()) ||
        !labels_->Put({facts.name, facts.label, facts.activity, facts.size}))
      PlayerLog("the label of %s could not be kept", facts.name.c_str());
    return kOk;
  }

  int Uninstall(const std::string& packageName, std::string* detail) override {
    AdbResult result = adb_->OnDevice(serial_, {"uninstall", packageName});
    ReadInstalled();
    if (!result.ran()) {
      *detail = result.Why("adb uninstall");
      return kDeviceFailed;
    }
    int code = UninstallResult(result.output);
    if (code != kOk)
      *detail = "device did not uninstall " + packageName + ": " + FirstLine(result.output);
    return code;
  }

  int Launch(const std::string& packageName, const std::string& activity,
             std::string* detail) override {
    if (!installed_.count(packageName)) ReadInstalled();  // put there by hand since
    if (!installed_.count(packageName)) {
      *detail = packageName + " is not on the device";
      return kNotInstalled;
    }
    int code = Start(packageName, activity, detail);
    if (code != kOk) return code;
    if (!CameUp(packageName)) {
      *detail = packageName + " did not come up on the device";
      return kDeviceFailed;
    }
    Mirror(packageName);
    return kOk;
  }

  std::vector<InstalledPackage> Installed() override {
    std::vector<InstalledPackage> packages;
    for (const std::string& name : installed_) {
      InstalledPackage package{name, name, "", 0};
      labels_->Get(name, &package);
      packages.push_back(package);
    }
    return packages;
  }

  std::string Describe() const override { return "Android device " + serial_; }

 private:
  // `pm list packages -3`: the games and other packages the user put on the device.
  void ReadInstalled() {
    AdbResult result = adb_->Shell(serial_, {"pm", "list", "packages", "-3"});
    if (!result.ok()) {
      PlayerLog("%s", result.Why("pm list packages on " + serial_).c_str());
      return;
    }
    installed_ = ParsePackageList(result.output);
  }

  // Free space on /data against the package's size; a device whose df cannot be read is
  // left to refuse the install itself.
  int CheckSpace(const PackageFacts& facts, std::string* detail) {
    AdbResult result = adb_->Shell(serial_, {"df", "-k", "/data"});
    std::optional<std::uint64_t> availableKb =
        result.ran() ? ParseDfAvailableKb(result.output) : std::nullopt;
    if (!availableKb) {
      PlayerLog("free space on %s unknown: %s", serial_.c_str(), result.Why("df").c_str());
      return kOk;
    }
    if (*availableKb * 1024 >= facts.size) return kOk;
    *detail = facts.name + " needs " + std::to_string(facts.size) + " bytes; the device has " +
              std::to_string(*availableKb) + " KB free";
    return kDeviceStorageFull;
  }

  // `am start -n`, and the launcher's entry when the activity cannot be started from outside.
  int Start(const std::string& packageName, const std::string& activity, std::string* detail) {
    AdbResult am = adb_->Shell(serial_, {"am", "start", "-n", packageName + "/" + activity});
    if (!am.ran()) {
      *detail = am.Why("am start");
      return kDeviceFailed;
    }
    AmStart outcome = ClassifyAmStart(am.output);
    if (outcome == AmStart::kStarted) return kOk;
    if (outcome == AmStart::kFailed) {
      *detail = "device could not start " + packageName + ": " + FirstLine(am.output);
      return kDeviceFailed;
    }
    PlayerLog("am start refused %s/%s; trying the launcher's entry", packageName.c_str(),
              activity.c_str());
    AdbResult monkey = adb_->Shell(
        serial_, {"monkey", "-p", packageName, "-c", "android.intent.category.LAUNCHER", "1"});
    if (monkey.ran() && MonkeyStarted(monkey.output)) return kOk;
    *detail = packageName + " has no activity the device can start";
    return kActivityNotFound;
  }

  // True once the package's activity is resumed or its process runs, within a bound.
  bool CameUp(const std::string& packageName) {
    auto deadline = std::chrono::steady_clock::now() + kLaunchBound;
    for (;;) {
      AdbResult top = adb_->Shell(serial_, {"dumpsys", "activity", "activities"}, kLaunchQuery);
      if (top.ran() && ParseResumedActivity(top.output).rfind(packageName + "/", 0) == 0)
        return true;
      AdbResult pid = adb_->Shell(serial_, {"pidof", packageName}, kLaunchQuery);
      if (pid.ok() && ParsePidof(pid.output)) return true;
      if (std::chrono::steady_clock::now() >= deadline || adb_->cancelled()) return false;
      std::this_thread::sleep_for(kLaunchStep);
    }
  }

  // Shows the device's screen in a window titled with the game's name, when scrcpy is here.
  void Mirror(const std::string& packageName) {
    std::string scrcpy = FindProgram("scrcpy");
    if (scrcpy.empty()) return;
    InstalledPackage package{packageName, packageName, "", 0};
    labels_->Get(packageName, &package);
    if (!mirror_.Start({scrcpy, "-s", serial_, "--window-title", package.label}))
      PlayerLog("scrcpy could not start for %s", serial_.c_str());
  }

  std::string serial_;
  const Adb* adb_;
  PackageRecord* labels_;
  std::set<std::string> installed_;
  OwnedChild mirror_;
};

}  // namespace

std::unique_ptr<PackageBackend> CreateAdbBackend(const std::string& serial, const Adb* adb,
                                                 PackageRecord* labels) {
  return std::make_unique<AdbBackend>(serial, adb, labels);
}

}  // namespace runbox
