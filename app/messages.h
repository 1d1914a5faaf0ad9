#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace lumo {

// The records some messages hand over, declared by the layers above that send them.
struct AppItemInfo;          // catalogue/app-item-info.h
struct DownloadCheck;        // catalogue/download-request.h
struct FailureReason;        // catalogue/failure-reasons.h
struct ApkInspection;        // game/game-lifecycle.h
struct LocalApk;             // game/local-apk-reader.h
struct LocalDetail;          // game/local-detail-page.h
struct AndroidDevices;       // vm/android-devices.h
struct DeviceConnectResult;  // vm/android-devices.h

// A message of this process that carries one value of type Payload. Sender and handler both
// name the constant, so the Dispatcher checks each end against the type (app/dispatcher.h).
template <typename Payload>
struct Message {
  std::uint32_t id;
};
// A message that hands over one record: the handler that moves it out owns it.
template <typename T>
using OwnedMessage = Message<std::unique_ptr<T>>;

struct InstallStart {
  std::string packageName;
  int seconds = 0;  // how long the install is expected to take
};
// What the player answered for a package: 0 for success, otherwise its error code.
struct PlayerResult {
  int code = 0;
  std::string packageName;
};
// A launch the player reports as started, on the Android device of this model (empty for the
// built-in VM).
struct LaunchDone {
  std::string packageName;
  std::string deviceModel;
};
struct DownloadProgress {
  std::string key;
  float fraction = 0;  // 0.0 to 1.0
  std::string speed;   // e.g. "1.50 Kb/s"
};
struct DownloadFailed {
  std::string key;
  int code = 0;  // the engine's failure code
};
// A file that is now complete on disk, by the key its download was started under.
struct FileReady {
  std::string key;
  std::string path;
};
struct Navigation {
  std::string browserName;  // "Main" or "Detail"
  std::string url;
};

// Window message numbers. The user range starts at 1024. The names are the ones every part
// of the program uses; the comments say who sends each. Posts carry no value; the messages
// that other processes send (MSG_SHOW_MAIN, MSG_QUIT_NOW, MSG_OPEN_APKS, MSG_TRAY) are plain
// numbers, since no value crosses a process but as bytes.
// NOLINTBEGIN(readability-identifier-naming)
inline constexpr std::uint32_t MSG_USER = 1024;
inline constexpr OwnedMessage<AppItemInfo> MSG_APP_LOADED{1025};         // catalogue, one per row
inline constexpr std::uint32_t MSG_SHOW_SETTINGS = 1026;                 // post
inline constexpr std::uint32_t MSG_CHECK_UPDATE = 1027;                  // post
inline constexpr std::uint32_t MSG_SHOW_ABOUT = 1028;                    // post
inline constexpr std::uint32_t MSG_TRAY = 1029;                          // from the tray icon
inline constexpr Message<InstallStart> MSG_INSTALL_START{1030};          // VM task loop
inline constexpr Message<PlayerResult> MSG_INSTALL_DONE{1031};           // VM bridge
inline constexpr std::uint32_t MSG_LAUNCH_SELECTED = 1032;               // post
inline constexpr std::uint32_t MSG_UNINSTALL_SELECTED = 1033;            // post
inline constexpr Message<std::string> MSG_UNINSTALL_START{1034};         // VM task loop: package
inline constexpr Message<PlayerResult> MSG_UNINSTALL_DONE{1035};         // VM bridge
inline constexpr Message<DownloadProgress> MSG_DOWNLOAD_PROGRESS{1036};  // download manager
inline constexpr Message<FileReady> MSG_DOWNLOAD_DONE{1037};             // download manager
inline constexpr Message<DownloadFailed> MSG_DOWNLOAD_FAILED{1038};      // download manager
inline constexpr OwnedMessage<LocalApk> MSG_LOCAL_APK_READY{1039};       // add-from-disk reader
inline constexpr Message<std::string> MSG_DOWNLOAD_CLICKED{1040};        // store page: JSON text
inline constexpr Message<FileReady> MSG_ICON_READY{1041};                // small-file downloader
inline constexpr std::uint32_t MSG_SHOW_MAIN = 1042;          // post; also from a 2nd start
inline constexpr std::uint32_t MSG_PLAYER_SETUP_DONE = 1043;  // post
inline constexpr Message<std::string> MSG_CLOUD_PLAY{1044};   // store page: address
inline constexpr Message<Navigation> MSG_NAVIGATE{1045};      // error page's retry
// Error page's retry in a cloud-play window, to that window only: the address.
inline constexpr Message<std::string> MSG_CLOUD_NAVIGATE{1046};
inline constexpr std::uint32_t MSG_CLOUDPLAY_CLOSED = 1047;            // direct to the main window
inline constexpr OwnedMessage<ApkInspection> MSG_APK_INSPECTED{1048};  // APK inspector
// Catalogue: the stored download checks, by package (DownloadChecks).
inline constexpr OwnedMessage<std::map<std::string, DownloadCheck>> MSG_DOWNLOAD_CHECKS_LOADED{
    1049};
// Catalogue: the stored failure reasons, by package (FailureReasons).
inline constexpr OwnedMessage<std::map<std::string, FailureReason>> MSG_FAILURES_LOADED{1068};
// VM bridge: the packages the player has installed (PlayerPackages).
inline constexpr OwnedMessage<std::set<std::string>> MSG_PLAYER_PACKAGES{1050};
// Catalogue: the path the unreadable catalogue was kept aside as.
inline constexpr Message<std::string> MSG_CATALOGUE_SET_ASIDE{1051};
// VM bridge: the Android devices the player sees, and its answer to a network device added.
inline constexpr Message<AndroidDevices> MSG_ANDROID_DEVICES{1052};
inline constexpr Message<DeviceConnectResult> MSG_DEVICE_CONNECTED{1053};
inline constexpr std::uint32_t MSG_QUIT_NOW = 2024;  // from the updater
// Desktop integration: file names handed over by a later start, a launch the player refused.
inline constexpr std::uint32_t MSG_OPEN_APKS = 1064;             // data message: APK paths
inline constexpr Message<PlayerResult> MSG_LAUNCH_FAILED{1065};  // VM bridge
inline constexpr Message<LaunchDone> MSG_LAUNCH_DONE{1066};      // VM bridge
// The detail page of a game added from disk, made by its reader job.
inline constexpr OwnedMessage<LocalDetail> MSG_LOCAL_DETAIL_READY{1067};
// NOLINTEND(readability-identifier-naming)

}  // namespace lumo
