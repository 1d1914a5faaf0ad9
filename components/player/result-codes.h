#pragma once

// The player's answers to install (1), uninstall (2) and launch (3) requests, sent back as
// decimal text. Each failure has its own code so that Lumo can tell the user why.
namespace runbox {

enum ResultCode : int {
  kOk = 0,
  // 1 is what Lumo reports when the player goes away during a task; the player never sends it.
  kFileNotFound = 2,         // the APK path is missing or cannot be read
  kNotAPackage = 3,          // not an APK: not an archive, no manifest, damaged
  kNoNativeCodeForVm = 4,    // native code only for processors this VM cannot run
  kNotInstalled = 5,         // uninstall or launch of a package that is not installed
  kBadRequest = 6,           // an empty or malformed request text
  kActivityNotFound = 7,     // launch of an activity the package does not declare
  kCheckerMissing = 8,       // no packaging tool to read the APK with
  kStorageFailed = 9,        // the player's own folder cannot be written
  kDeviceFailed = 10,        // the Android device refused or adb failed
  kVmNotRunning = 11,        // a request before the VM has started
  kDeviceStorageFull = 12,   // the Android device has too little free space for the game
  kDeviceIncompatible = 13,  // the game needs another Android version or device feature
  kDeviceConflict = 14,      // the device has the package with another signature or newer
};

const char* ResultText(int code);

}  // namespace runbox
