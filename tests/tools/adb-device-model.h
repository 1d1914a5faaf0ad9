#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// What the stand-in Android device is and holds (its properties, installed packages, the
// activity on top, free storage) and what its shell commands print. It answers:
//   getprop [NAME]; df [-k] [/data]; pidof PKG; dumpsys activity activities;
//   pm (or cmd package) list packages [-3] | install -S SIZE | uninstall [-k] PKG;
//   am start -n PKG/CLASS; am force-stop PKG;
//   monkey -p PKG -c android.intent.category.LAUNCHER 1.
// A line with a pipe, list, redirection or substitution is refused as a syntax error.
namespace lumo::adbdevice {

struct DeviceOptions {
  std::string model = "Pixel 7";
  std::string abis = "arm64-v8a,armeabi-v7a,armeabi";
  std::string release = "14";
  std::string sdk = "34";
  std::uint64_t freeKb = 8ull * 1024 * 1024;  // free on /data before any app is installed
  bool unauthorized = false;                  // answers CNXN with AUTH tokens only
  std::string refuseInstall;                  // an INSTALL_FAILED_ code every install ends with
  std::vector<std::string> notExported;       // full class names "am start -n" may not start
  std::string stateFile;  // kept up to date with the packages and the resumed activity
  std::string aapt = "/usr/bin/aapt";
};

// Every connection's thread calls it; each public member function takes the one lock and
// calls no other public one.
class Device {
 public:
  // Reads the state file when there is one, so a test can start the device with packages.
  explicit Device(DeviceOptions options);
  const DeviceOptions& options() const { return options_; }

  // The CNXN payload: "device::" with the properties and the features the host reads.
  std::string Banner() const;
  // How many bytes the command line reads from its stream before it answers: the APK of
  // "cmd package install -S SIZE" (or "pm install -S SIZE"); 0 for every other command.
  static std::uint64_t InputSize(const std::string& line);
  // False when an install of `size` bytes is refused whatever they hold, so they need no
  // keeping.
  bool KeepsInput(std::uint64_t size) const;
  // Runs one command line and returns what it prints (standard output and error together).
  // `input` is the file with the bytes InputSize asked for, empty when they were not kept.
  std::string Run(const std::string& line, const std::string& input);

 private:
  struct Package {
    std::string launchActivity;  // full class name; empty when the APK has none
    std::uint64_t kb = 0;
  };

  std::string Dispatch(const std::vector<std::string>& words, const std::string& input);
  std::string GetProp(const std::vector<std::string>& words) const;
  std::string PackageManager(const std::vector<std::string>& words, const std::string& input);
  std::string Install(std::uint64_t size, const std::string& input);
  std::string Uninstall(const std::string& name);
  std::string DiskFree() const;
  std::string ActivityManager(const std::vector<std::string>& words);
  std::string Start(const std::string& component);
  std::string Monkey(const std::vector<std::string>& words);
  std::string Dumpsys(const std::vector<std::string>& words) const;
  std::string PidOf(const std::vector<std::string>& words) const;
  void Resume(const std::string& package, const std::string& className);
  void ForceStop(const std::string& package);
  std::uint64_t FreeKbLocked() const;
  std::map<std::string, std::string> Properties() const;
  void Save() const;
  void Load();

  const DeviceOptions options_;
  mutable std::mutex mutex_;
  std::map<std::string, Package> packages_;
  std::map<std::string, int> pids_;  // packages that run
  std::string resumed_;              // "package/full.Class"
  int task_ = 1;
  int nextPid_ = 4000;
};

}  // namespace lumo::adbdevice
