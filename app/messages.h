#pragma once

#include <cstdint>

namespace lumo {

// Window message numbers. The user range starts at 1024. The names are the ones every part
// of the program uses; the comments say who sends each and what travels in its parameters.
// NOLINTBEGIN(readability-identifier-naming)
inline constexpr std::uint32_t MSG_USER = 1024;
inline constexpr std::uint32_t MSG_APP_LOADED = 1025;              // SendOwned: AppItemInfo
inline constexpr std::uint32_t MSG_SHOW_SETTINGS = 1026;           // post
inline constexpr std::uint32_t MSG_CHECK_UPDATE = 1027;            // post
inline constexpr std::uint32_t MSG_SHOW_ABOUT = 1028;              // post
inline constexpr std::uint32_t MSG_TRAY = 1029;                    // from the tray icon
inline constexpr std::uint32_t MSG_INSTALL_START = 1030;           // send: package, seconds
inline constexpr std::uint32_t MSG_INSTALL_DONE = 1031;            // send: error code, package
inline constexpr std::uint32_t MSG_LAUNCH_SELECTED = 1032;         // post
inline constexpr std::uint32_t MSG_UNINSTALL_SELECTED = 1033;      // post
inline constexpr std::uint32_t MSG_UNINSTALL_START = 1034;         // send: package
inline constexpr std::uint32_t MSG_UNINSTALL_DONE = 1035;          // send: error code, package
inline constexpr std::uint32_t MSG_DOWNLOAD_PROGRESS = 1036;       // send: key, progress record
inline constexpr std::uint32_t MSG_DOWNLOAD_DONE = 1037;           // send: key, full path
inline constexpr std::uint32_t MSG_DOWNLOAD_FAILED = 1038;         // send: key, failure code
inline constexpr std::uint32_t MSG_LOCAL_APK_READY = 1039;         // SendOwned: LocalApk
inline constexpr std::uint32_t MSG_DOWNLOAD_CLICKED = 1040;        // send: JSON text
inline constexpr std::uint32_t MSG_ICON_READY = 1041;              // send: key, file path
inline constexpr std::uint32_t MSG_SHOW_MAIN = 1042;               // post; also from a 2nd start
inline constexpr std::uint32_t MSG_PLAYER_SETUP_DONE = 1043;       // post
inline constexpr std::uint32_t MSG_CLOUD_PLAY = 1044;              // send: address
inline constexpr std::uint32_t MSG_NAVIGATE = 1045;                // send: browser name, address
inline constexpr std::uint32_t MSG_CLOUD_NAVIGATE = 1046;          // direct to the cloud window
inline constexpr std::uint32_t MSG_CLOUDPLAY_CLOSED = 1047;        // direct to the main window
inline constexpr std::uint32_t MSG_APK_INSPECTED = 1048;           // SendOwned: ApkInspection
inline constexpr std::uint32_t MSG_DOWNLOAD_CHECKS_LOADED = 1049;  // SendOwned: DownloadChecks
inline constexpr std::uint32_t MSG_PLAYER_PACKAGES = 1050;         // SendOwned: PlayerPackages
// SendOwned: the path the unreadable catalogue was kept aside as.
inline constexpr std::uint32_t MSG_CATALOGUE_SET_ASIDE = 1051;
inline constexpr std::uint32_t MSG_QUIT_NOW = 2024;  // from the updater
// Desktop integration: file names handed over by a later start, a launch the player refused.
inline constexpr std::uint32_t MSG_OPEN_APKS = 1064;      // data message: APK paths
inline constexpr std::uint32_t MSG_LAUNCH_FAILED = 1065;  // send: error code, package
// NOLINTEND(readability-identifier-naming)

}  // namespace lumo
