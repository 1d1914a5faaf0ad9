#pragma once

#include <string>
#include <vector>

#include "catalogue/app-item-info.h"

namespace lumo {

// One file added from disk, as MSG_LOCAL_APK_READY carries it.
struct LocalApk {
  AppItemInfo record;
  std::vector<std::string> nativeCode;  // the ABIs of its native libraries
};

// The add-from-disk worker: for each picked APK (or bundle of split APKs, read through its
// base), in order, reads what the package says about
// itself, builds a record (status 4, the file as its local path, the detail address from
// `searchUrl`) and sends it to the main window as MSG_LOCAL_APK_READY. Exactly one send per
// file, whatever the reading found. Runs as a job of the worker pool.
void ReadLocalApks(const std::vector<std::string>& paths, const std::string& searchUrl);

// The record for one file; the package name, label, activity and icon stay empty when the
// package cannot be read.
LocalApk LocalApkRecord(const std::string& path, const std::string& searchUrl);

}  // namespace lumo
