#include "components/player/result-codes.h"

namespace runbox {

const char* ResultText(int code) {
  switch (code) {
    case kOk:
      return "done";
    case kFileNotFound:
      return "package file not found";
    case kNotAPackage:
      return "not a package";
    case kNoNativeCodeForVm:
      return "no native code for this VM";
    case kNotInstalled:
      return "not installed";
    case kBadRequest:
      return "bad request";
    case kActivityNotFound:
      return "activity not found";
    case kCheckerMissing:
      return "packaging tool missing";
    case kStorageFailed:
      return "storage failed";
    case kDeviceFailed:
      return "device failed";
    case kVmNotRunning:
      return "VM not running";
    case kDeviceStorageFull:
      return "device storage full";
    case kDeviceIncompatible:
      return "incompatible with the device";
    case kDeviceConflict:
      return "conflicts with a package on the device";
    default:
      return "unknown error";
  }
}

}  // namespace runbox
