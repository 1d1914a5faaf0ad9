#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// The program's folders and its user settings. Filled once at start-up on the UI thread and
// afterwards written only there; workers read the folders without a lock.
struct Settings {
  static Settings& instance();

  std::string appDir;
  std::string logDir;
  std::string settingPath;
  std::string dataDir;
  std::string downloadDir;
  std::string iconsDir;
  int minOnClose = 1;
  int quitRemember = 0;
  // The Android games go to: "auto" (the only device adb sees ready, else the demo VM), "demo"
  // or a device's serial; and the network devices the user added, as "HOST:PORT,HOST:PORT".
  std::string androidDevice = "auto";
  std::string androidAddresses;

  // Computes and creates the folders, then loads setting.ini (writing it when missing).
  void Init();
  void Load();
  // Writes the keys of setting.ini from the fields.
  bool Save() const;
};

// Values of the read-only files beside the executable, with their defaults when the file or
// the key is missing.
std::string ConfigVersion();
std::string ConfigUpgrade();
std::string CfgHomeUrl();
std::string CfgSearchUrl();

// The store that a fresh install points at: the demo store served on this machine.
inline constexpr char kDefaultStoreHost[] = "http://127.0.0.1:18080";

}  // namespace lumo
