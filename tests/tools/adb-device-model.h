#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the stand-in Android device is and holds: its properties, installed packages, the
// activity on top, free storage and the files pushed to it. Every connection's thread reaches
// it, so each member function takes the one lock; none calls another public one.
namespace lumo::adbdevice {

struct DeviceOptions {
  std::string model = "Pixel 7";
  std::string abis = "arm64-v8a,armeabi-v7a,armeabi";
  int sdk = 34;
  std::string release = "14";
  std::uint64_t freeKb = 50ull * 1024 * 1024;
  bool unauthorized = false;      // answers CNXN with AUTH tokens and never accepts a key
  std::string refuseInstall;      // an INSTALL_FAILED_ code every install ends with
  bool dropMidInstall = false;    // closes the connection once part of an APK has arrived
  std::string stateFile;          // where the installed packages are written, when set
  std::string aapt = "/usr/bin/aapt";
  std::string workDir;            // received APKs and pushed files live here
};

struct Package {
  std::string name;
  std::string launchActivity;           // full class name; empty when there is none
  std::vector<std::string> activities;  // full class names
  std::uint64_t size = 0;
};

struct FileInfo {
  bool exists = false;
  bool directory = false;
  std::uint64_t size = 0;
  std::uint32_t mtime = 0;
};

// The home screen's activity, on top whenever no game is.
inline constexpr char kLauncher[] = "com.android.launcher3/com.android.launcher3.Launcher";

class Device {
 public:
  explicit Device(DeviceOptions options);
  const DeviceOptions& options() const { return options_; }

  // The CNXN payload: "device::" and the properties and features the host reads.
  std::string Banner() const;
  // Empty for a property the device does not have, as getprop prints it.
  std::string Property(const std::string& name) const;
  std::vector<std::pair<std::string, std::string>> Properties() const;

  std::vector<Package> Packages() const;
  std::optional<Package> FindPackage(const std::string& name) const;
  // Reads the APK at `apkPath` (which it then removes) and installs it: "Success" or the
  // "Failure [...]" line Android prints. `precheck` is what an install of `size` bytes ends
  // with before any byte is read; empty when it may go on.
  std::string PrecheckInstall(std::uint64_t size) const;
  std::string Install(const std::string& apkPath, std::uint64_t size);
  bool Uninstall(const std::string& name);

  enum class StartResult { kStarted, kAlreadyOnTop, kNoSuchActivity };
  StartResult StartActivity(const std::string& package, const std::string& className);
  void ForceStop(const std::string& package);
  // "package/full.Class" of the activity on top.
  std::string Resumed() const;
  int TaskOfResumed() const;
  // The package's process id, 0 when it does not run.
  int Pid(const std::string& package) const;

  std::uint64_t FreeKb() const;
  std::uint64_t UsedKb() const;

  FileInfo Stat(const std::string& path) const;
  // A new, empty file in the work folder for bytes on their way in.
  std::string NewTransferFile();
  // Keeps the pushed file `local` as `remote`; false when `remote` is no place a file can go.
  bool StorePushed(const std::string& remote, const std::string& local, std::uint64_t size,
                   std::uint32_t mtime);
  // The work folder's copy of a pushed file, empty when there is none.
  std::string PushedFile(const std::string& remote) const;
  bool RemovePushed(const std::string& remote);
  std::vector<std::pair<std::string, FileInfo>> PushedFilesIn(const std::string& dir) const;

 private:
  struct Pushed {
    std::string local;
    FileInfo info;
  };
  void SaveLocked() const;
  void LoadState();
  std::uint64_t InstalledKbLocked() const;

  const DeviceOptions options_;
  mutable std::mutex mutex_;
  std::map<std::string, Package> packages_;
  std::map<std::string, Pushed> pushed_;
  std::map<std::string, int> pids_;
  std::string resumed_ = kLauncher;
  int task_ = 1;
  int nextPid_ = 12000;
  int nextTransfer_ = 0;
};

// Reads what Android's package manager would from an APK: its name, activities and the ABIs
// of its native code, with the packaging tool. False when the tool cannot read it.
struct ApkFacts {
  std::string name;
  std::string launchActivity;
  std::vector<std::string> activities;
  std::vector<std::string> nativeCode;
};
bool InspectApk(const std::string& aapt, const std::string& apkPath, ApkFacts* facts);

// Activity names as Android shows them: "pkg/.Main" when the class is in the package.
std::string ShortComponent(const std::string& package, const std::string& className);
// The class an "am start -n pkg/cls" names: ".Main" is inside the package.
std::string FullClassName(const std::string& package, const std::string& className);

}  // namespace lumo::adbdevice
