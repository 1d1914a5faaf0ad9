#include "tests/tools/adb-device-model.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "tests/tools/adb-protocol.h"

namespace lumo::adbdevice {

namespace {

constexpr char kLauncherPackage[] = "com.android.launcher3";
constexpr char kLauncherClass[] = "com.android.launcher3.Launcher";
// What /data holds besides the installed apps.
constexpr std::uint64_t kSystemKb = 6ull * 1024 * 1024;
constexpr int kAppUid = 10087;

using Words = std::vector<std::string>;

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find(separator, start), text.size());
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The word after `flag`, empty when there is none.
std::string After(const Words& words, std::string_view flag) {
  auto it = std::find(words.begin(), words.end(), flag);
  return it != words.end() && it + 1 != words.end() ? *(it + 1) : std::string();
}

// The shell's words, with "cmd package ..." read as the "pm ..." it is.
bool SplitWords(const std::string& line, Words* words, std::string* error) {
  std::string ignored;
  if (!adb::SplitCommandLine(line, words, error ? error : &ignored)) return false;
  if (words->size() > 1 && (*words)[0] == "cmd" && (*words)[1] == "package") {
    words->erase(words->begin());
    (*words)[0] = "pm";
  }
  return true;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// "pkg/.Main" when the class lies inside the package, as Android shows a component.
std::string ShortComponent(const std::string& package, const std::string& className) {
  bool inside = className.size() > package.size() && className.rfind(package + ".", 0) == 0;
  return package + "/" + (inside ? className.substr(package.size()) : className);
}

// The text of every '...' in a line of "aapt dump badging", after `key`.
std::vector<std::string> Quoted(std::string_view line, std::string_view key) {
  std::vector<std::string> values;
  for (std::size_t at = line.find(key); at != std::string_view::npos;) {
    std::size_t open = line.find('\'', at);
    std::size_t close = open == std::string_view::npos ? open : line.find('\'', open + 1);
    if (close == std::string_view::npos) break;
    values.emplace_back(line.substr(open + 1, close - open - 1));
    at = key.empty() ? close + 1 : std::string_view::npos;
  }
  return values;
}

struct ApkFacts {
  std::string name;
  std::string launchActivity;
  std::vector<std::string> nativeCode;
};

// Reads what Android's package manager would from the APK, with the packaging tool.
bool InspectApk(const std::string& aapt, const std::string& apkPath, ApkFacts* facts) {
  // Both paths are this program's own (an option and a mkstemps name): no quote inside.
  std::string command = "'" + aapt + "' dump badging '" + apkPath + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  bool ok = pclose(pipe) == 0;
  for (const std::string& line : Split(output, '\n')) {
    std::vector<std::string> name = Quoted(line, "name=");
    if (line.rfind("package:", 0) == 0 && !name.empty()) facts->name = name[0];
    if (line.rfind("launchable-activity:", 0) == 0 && !name.empty())
      facts->launchActivity = name[0];
    if (line.rfind("native-code:", 0) == 0) facts->nativeCode = Quoted(line, "");
  }
  return ok && !facts->name.empty();
}

}  // namespace

Device::Device(DeviceOptions options)
    : options_(std::move(options)), resumed_(std::string(kLauncherPackage) + "/" + kLauncherClass) {
  Load();
  Save();
}

std::string Device::Banner() const {
  return "device::ro.product.name=lumo_phone;ro.product.model=" + options_.model +
         ";ro.product.device=lumo;features=cmd";
}

std::map<std::string, std::string> Device::Properties() const {
  return {{"ro.build.version.release", options_.release},
          {"ro.build.version.sdk", options_.sdk},
          {"ro.product.cpu.abi", Split(options_.abis, ',')[0]},
          {"ro.product.cpu.abilist", options_.abis},
          {"ro.product.device", "lumo"},
          {"ro.product.manufacturer", "Lumo"},
          {"ro.product.model", options_.model},
          {"ro.product.name", "lumo_phone"}};
}

std::uint64_t Device::InputSize(const std::string& line) {
  Words words;
  bool install = SplitWords(line, &words, nullptr) && words.size() > 1 && words[0] == "pm" &&
                 words[1] == "install";
  return install ? std::strtoull(After(words, "-S").c_str(), nullptr, 10) : 0;
}

bool Device::KeepsInput(std::uint64_t size) const {
  std::lock_guard lock(mutex_);
  return options_.refuseInstall.empty() && (size + 1023) / 1024 <= FreeKbLocked();
}

std::string Device::Run(const std::string& line, const std::string& input) {
  std::lock_guard lock(mutex_);
  Words words;
  std::string error;
  if (!SplitWords(line, &words, &error))
    return "/system/bin/sh: syntax error: '" + error + "' unexpected\n";
  if (words.empty()) return "";
  std::string out = Dispatch(words, input);
  if (words[0] == "pm" || words[0] == "am" || words[0] == "monkey") Save();
  return out;
}

std::string Device::Dispatch(const Words& words, const std::string& input) {
  const std::string& name = words[0];
  if (name == "getprop") return GetProp(words);
  if (name == "pm") return PackageManager(words, input);
  if (name == "df") return DiskFree();
  if (name == "am") return ActivityManager(words);
  if (name == "monkey") return Monkey(words);
  if (name == "dumpsys") return Dumpsys(words);
  if (name == "pidof") return PidOf(words);
  return "/system/bin/sh: " + name + ": inaccessible or not found\n";
}

std::string Device::GetProp(const Words& words) const {
  std::map<std::string, std::string> properties = Properties();
  if (words.size() > 1) return properties[words[1]] + "\n";
  std::string out;
  for (const auto& [key, value] : properties)
    out.append("[").append(key).append("]: [").append(value).append("]\n");
  return out;
}

std::string Device::PackageManager(const Words& words, const std::string& input) {
  std::string verb = words.size() > 1 ? words[1] : std::string();
  if (verb == "list" && words.size() > 2 && words[2] == "packages") {
    std::string out;
    if (!Contains(words, "-3"))
      out = "package:android\npackage:" + std::string(kLauncherPackage) + "\n";
    for (const auto& entry : packages_) out += "package:" + entry.first + "\n";
    return out;
  }
  if (verb == "install")
    return Install(std::strtoull(After(words, "-S").c_str(), nullptr, 10), input);
  if (verb == "uninstall" && words.size() > 2) return Uninstall(words.back());
  return "Unknown command: " + verb + "\n";
}

std::string Device::Install(std::uint64_t size, const std::string& input) {
  if (!options_.refuseInstall.empty()) return "Failure [" + options_.refuseInstall + "]\n";
  std::uint64_t kb = (size + 1023) / 1024;
  if (kb > FreeKbLocked()) return "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n";
  ApkFacts facts;
  if (input.empty() || !InspectApk(options_.aapt, input, &facts))
    return "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse the streamed APK]\n";
  std::vector<std::string> abis = Split(options_.abis, ',');
  bool matches = facts.nativeCode.empty() ||
                 std::any_of(facts.nativeCode.begin(), facts.nativeCode.end(),
                             [&](const std::string& abi) { return Contains(abis, abi); });
  if (!matches)
    return "Failure [INSTALL_FAILED_NO_MATCHING_ABIS: Failed to extract native libraries, "
           "res=-113]\n";
  // A new version replaces the old one, which stops first.
  ForceStop(facts.name);
  packages_[facts.name] = Package{facts.launchActivity, kb};
  return "Success\n";
}

std::string Device::Uninstall(const std::string& name) {
  if (packages_.count(name) == 0) return "Failure [DELETE_FAILED_INTERNAL_ERROR]\n";
  ForceStop(name);
  packages_.erase(name);
  return "Success\n";
}

std::string Device::DiskFree() const {
  std::uint64_t free = FreeKbLocked();
  std::uint64_t used = kSystemKb + options_.freeKb - free;
  char line[160];
  std::snprintf(line, sizeof line,
                "%-16s %10" PRIu64 " %9" PRIu64 " %9" PRIu64 " %3" PRIu64 "%% %s\n",
                "/dev/block/dm-5", used + free, used, free, used * 100 / (used + free), "/data");
  return "Filesystem        1K-blocks      Used Available Use% Mounted on\n" + std::string(line);
}

std::string Device::ActivityManager(const Words& words) {
  std::string verb = words.size() > 1 ? words[1] : std::string();
  if (verb == "start" && !After(words, "-n").empty()) return Start(After(words, "-n"));
  if (verb == "force-stop" && words.size() > 2) {
    ForceStop(words[2]);
    return "";
  }
  return "Error: unknown or incomplete command: " + verb + "\n";
}

std::string Device::Start(const std::string& component) {
  std::size_t slash = component.find('/');
  if (slash == std::string::npos) return "Error: Bad component name: " + component + "\n";
  std::string package = component.substr(0, slash);
  std::string className = component.substr(slash + 1);
  if (className.rfind('.', 0) == 0) className = package + className;
  std::string shown = ShortComponent(package, className);
  std::string out = "Starting: Intent { cmp=" + shown + " }\n";
  auto it = packages_.find(package);
  if (it == packages_.end() || it->second.launchActivity != className)
    return out + "Error type 3\nError: Activity class {" + package + "/" + className +
           "} does not exist.\n";
  if (Contains(options_.notExported, className))
    return out + "Error: Permission Denial: starting Intent { flg=0x10000000 cmp=" + shown +
           " } from null (pid=3310, uid=2000) not exported from uid " + std::to_string(kAppUid) +
           "\n";
  if (resumed_ == package + "/" + className)
    return out +
           "Warning: Activity not started, intent has been delivered to currently running "
           "top-most instance.\n";
  Resume(package, className);
  return out;
}

std::string Device::Monkey(const Words& words) {
  auto it = packages_.find(After(words, "-p"));
  if (it == packages_.end() || it->second.launchActivity.empty())
    return "** No activities found to run, monkey aborted.\n";
  if (resumed_ != it->first + "/" + it->second.launchActivity)
    Resume(it->first, it->second.launchActivity);
  return "Events injected: 1\n## Network stats: elapsed time=9ms (0ms mobile, 0ms wifi, 9ms not "
         "connected)\n";
}

std::string Device::Dumpsys(const Words& words) const {
  if (words.size() < 2 || words[1] != "activity") return "";
  std::size_t slash = resumed_.find('/');
  return "ACTIVITY MANAGER ACTIVITIES (dumpsys activity activities)\n"
         "Display #0 (activities from top to bottom):\n"
         "  mResumedActivity: ActivityRecord{5c1e0f3 u0 " +
         ShortComponent(resumed_.substr(0, slash), resumed_.substr(slash + 1)) + " t" +
         std::to_string(task_) + "}\n";
}

std::string Device::PidOf(const Words& words) const {
  auto it = words.size() > 1 ? pids_.find(words[1]) : pids_.end();
  return it == pids_.end() ? "" : std::to_string(it->second) + "\n";
}

void Device::Resume(const std::string& package, const std::string& className) {
  resumed_ = package + "/" + className;
  ++task_;
  if (pids_.count(package) == 0) pids_[package] = nextPid_++;
}

void Device::ForceStop(const std::string& package) {
  pids_.erase(package);
  if (resumed_.rfind(package + "/", 0) == 0)
    resumed_ = std::string(kLauncherPackage) + "/" + kLauncherClass;
}

std::uint64_t Device::FreeKbLocked() const {
  std::uint64_t used = 0;
  for (const auto& entry : packages_) used += entry.second.kb;
  return used >= options_.freeKb ? 0 : options_.freeKb - used;
}

// One line a record, tab-separated: "package NAME ACTIVITY KB" and "resumed COMPONENT".
// Written to a new file that then replaces the old, so a reader never sees half of it.
void Device::Save() const {
  if (options_.stateFile.empty()) return;
  std::ostringstream out;
  for (const auto& [name, package] : packages_)
    out << "package\t" << name << "\t" << package.launchActivity << "\t" << package.kb << "\n";
  out << "resumed\t" << resumed_ << "\n";
  std::string temporary = options_.stateFile + ".new";
  std::ofstream(temporary, std::ios::trunc) << out.str();
  std::rename(temporary.c_str(), options_.stateFile.c_str());
}

void Device::Load() {
  std::ifstream in(options_.stateFile);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields = Split(line, '\t');
    if (fields[0] == "package" && fields.size() == 4)
      packages_[fields[1]] = Package{fields[2], std::strtoull(fields[3].c_str(), nullptr, 10)};
    if (fields[0] == "resumed" && fields.size() == 2 && fields[1].find('/') != std::string::npos) {
      resumed_ = fields[1];
      pids_[resumed_.substr(0, resumed_.find('/'))] = nextPid_++;
    }
  }
}

}  // namespace lumo::adbdevice
