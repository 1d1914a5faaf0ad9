#include "components/player/child-process.h"
#include "components/player/package-backend.h"
#include "components/player/result-codes.h"

namespace runbox {

namespace {

std::string FirstLine(const std::string& text) {
  std::size_t end = text.find('\n');
  return text.substr(0, end);
}

// A real Android device or emulator, reached through adb with the configured serial. The
// device does the work; the player mirrors what it installed in its own record.
class AdbBackend final : public PackageBackend {
 public:
  AdbBackend(const PlayerConfig& config, PackageRecord* record)
      : config_(config), record_(record) {}

  int Install(const std::string& apkPath, const PackageFacts& facts, std::string* detail) override {
    std::string output;
    // A bundle's parts go in as one package.
    std::vector<std::string> arguments = {facts.parts.empty() ? "install" : "install-multiple",
                                          "-r"};
    if (facts.parts.empty()) arguments.push_back(apkPath);
    arguments.insert(arguments.end(), facts.parts.begin(), facts.parts.end());
    if (!Adb(arguments, &output, detail)) return kDeviceFailed;
    if (output.find("Success") == std::string::npos) {
      *detail = "device refused " + facts.name + ": " + FirstLine(output);
      if (output.find("NO_MATCHING_ABIS") != std::string::npos) return kNoNativeCodeForVm;
      return output.find("INSUFFICIENT_STORAGE") != std::string::npos ? kStorageFailed
                                                                      : kDeviceFailed;
    }
    record_->Put({facts.name, facts.label, facts.activity, facts.size});
    return kOk;
  }

  int Uninstall(const std::string& packageName, std::string* detail) override {
    std::string output;
    if (!Adb({"uninstall", packageName}, &output, detail)) {
      if (output.find("Unknown package") != std::string::npos ||
          output.find("DELETE_FAILED_INTERNAL_ERROR") != std::string::npos)
        return kNotInstalled;
      return kDeviceFailed;
    }
    if (output.find("Success") == std::string::npos) {
      *detail = "device did not uninstall " + packageName + ": " + FirstLine(output);
      return kNotInstalled;
    }
    record_->Remove(packageName);
    return kOk;
  }

  int Launch(const std::string& packageName, const std::string& activity,
             std::string* detail) override {
    std::string output;
    if (!Adb({"shell", "am", "start", "-n", packageName + "/" + activity}, &output, detail))
      return kDeviceFailed;
    if (output.find("does not exist") != std::string::npos) {
      *detail = packageName + "/" + activity + " does not exist on the device";
      return kActivityNotFound;
    }
    if (output.find("Error") != std::string::npos) {
      *detail = "device could not start " + packageName;
      return kDeviceFailed;
    }
    return kOk;
  }

  std::string Describe() const override { return "Android device " + config_.adbSerial; }

 private:
  // False when adb cannot run or exits with an error; `output` has what it wrote.
  bool Adb(std::vector<std::string> arguments, std::string* output, std::string* detail) {
    std::vector<std::string> argv = {config_.adbPath, "-s", config_.adbSerial};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    int exitCode = 0;
    if (!RunAndCapture(argv, output, &exitCode)) {
      *detail = "cannot run " + config_.adbPath;
      return false;
    }
    if (exitCode != 0) {
      *detail = "adb " + arguments.front() + " failed (" + std::to_string(exitCode) +
                "): " + FirstLine(*output);
      return false;
    }
    return true;
  }

  PlayerConfig config_;
  PackageRecord* record_;
};

}  // namespace

std::unique_ptr<PackageBackend> CreateAdbBackend(const PlayerConfig& config,
                                                 PackageRecord* record) {
  return std::make_unique<AdbBackend>(config, record);
}

}  // namespace runbox
