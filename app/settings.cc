#include "app/settings.h"

#include "app/log.h"
#include "app/paths.h"
#include "app/strings.h"
#include "platform/file-system.h"
#include "platform/ini.h"

namespace lumo {

namespace {

constexpr char kSection[] = "setting";
// Lumo's own keys for the Android the games go to.
constexpr char kAndroidSection[] = "android";
constexpr std::size_t kSettingChars = 260;
constexpr std::size_t kCfglogChars = 2048;

// A folder is usable when it exists or was just made, and we may write into it.
bool MakeUsableFolder(const std::string& path) {
  platform::MakeDirResult result = platform::MakeDir(path);
  if (result == platform::MakeDirResult::kFailed) return false;
  return platform::IsWritableDirectory(path);
}

int ReadInt(const std::string& path, const char* key, const char* defaultText, int defaultValue) {
  std::string text = platform::ReadProfileString(path, kSection, key, defaultText, kSettingChars);
  int value = defaultValue;
  if (!ParseLeadingInt(text, &value)) {
    Log::instance()->write("setting %s has no number (\"%s\"), using %d", key, text.c_str(),
                           defaultValue);
    value = defaultValue;
  }
  return value;
}

std::string ReadBesideExe(const char* file, const char* key, const std::string& defaultValue,
                          std::size_t chars) {
  return platform::ReadProfileString(PathJoin(ExeDir(), file), "config", key, defaultValue, chars);
}

}  // namespace

Settings& Settings::instance() {
  static Settings settings;
  return settings;
}

void Settings::Init() {
  appDir = PathJoin(LocalAppDataShortPath(), "lum");
  platform::MakeDir(appDir);
  logDir = PathJoin(appDir, "log");
  platform::MakeDir(logDir);
  settingPath = PathJoin(appDir, "setting.ini");
  Load();
}

void Settings::Load() {
  dataDir = platform::ReadProfileString(settingPath, kSection, "dataDir", "", kSettingChars);
  if (dataDir.empty()) dataDir = PathJoin(appDir, "data");
  if (!MakeUsableFolder(dataDir)) {
    Log::instance()->write("data folder %s cannot be used, falling back", dataDir.c_str());
    dataDir = PathJoin(appDir, "data");
    platform::MakeDir(dataDir);
  }

  downloadDir =
      platform::ReadProfileString(settingPath, kSection, "downloadDir", "", kSettingChars);
  iconsDir = PathJoin(downloadDir, "icons");
  if (downloadDir.empty()) {
    // The volume that holds the user's folders plays the system drive: downloads stay under
    // appDir there, and go to the root of another volume only when it has more room.
    std::string drive = FixedDriveWithMostSpace();
    if (drive.empty() || drive == platform::VolumeRootOf(appDir))
      downloadDir = PathJoin(appDir, "download");
    else
      downloadDir = PathJoin(drive, "LUMDownload");
    iconsDir = PathJoin(downloadDir, "icons");
  }
  if (!MakeUsableFolder(downloadDir)) {
    Log::instance()->write("download folder %s cannot be used, falling back", downloadDir.c_str());
    downloadDir = PathJoin(appDir, "download");
    iconsDir = PathJoin(downloadDir, "icons");
    platform::MakeDir(downloadDir);
  }
  platform::MakeDir(iconsDir);

  minOnClose = ReadInt(settingPath, "minOnClose", "1", 1);
  quitRemember = ReadInt(settingPath, "quitRemember", "0", 0);
  androidDevice =
      platform::ReadProfileString(settingPath, kAndroidSection, "device", "auto", kSettingChars);
  if (androidDevice.empty()) androidDevice = "auto";
  androidAddresses =
      platform::ReadProfileString(settingPath, kAndroidSection, "addresses", "", kSettingChars);

  if (!platform::PathExists(settingPath)) Save();
}

bool Settings::Save() const {
  bool ok =
      platform::WriteProfileString(settingPath, kSection, "dataDir", dataDir) &&
      platform::WriteProfileString(settingPath, kSection, "downloadDir", downloadDir) &&
      platform::WriteProfileString(settingPath, kSection, "minOnClose",
                                   std::to_string(minOnClose)) &&
      platform::WriteProfileString(settingPath, kSection, "quitRemember",
                                   std::to_string(quitRemember)) &&
      platform::WriteProfileString(settingPath, kAndroidSection, "device", androidDevice) &&
      platform::WriteProfileString(settingPath, kAndroidSection, "addresses", androidAddresses);
  if (!ok) Log::instance()->write("cannot write %s", settingPath.c_str());
  return ok;
}

std::string ConfigVersion() {
  return ReadBesideExe("config.ini", "version", "1.0.0", kSettingChars);
}

std::string ConfigUpgrade() {
  return ReadBesideExe("config.ini", "upgrade", "renew.exe", kSettingChars);
}

std::string CfgHomeUrl() {
  return ReadBesideExe("cfglog.ini", "homeUrl", std::string(kDefaultStoreHost) + "/index.html?pc=1",
                       kCfglogChars);
}

std::string CfgSearchUrl() {
  return ReadBesideExe("cfglog.ini", "searchUrl",
                       std::string(kDefaultStoreHost) + "/app/detail.html?packagename=%s",
                       kCfglogChars);
}

}  // namespace lumo
