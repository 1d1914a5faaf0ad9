#include "components/player/bundle-parts.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "apk/apk-bundle.h"
#include "components/player/result-codes.h"
#include "platform/file-system.h"

namespace runbox {

UnpackedBundle::UnpackedBundle(const std::string& path, const std::string& workDir) {
  isBundle_ = lumo::IsBundlePath(path);
  if (!isBundle_) return;
  if (access(path.c_str(), R_OK) != 0) {
    code_ = kFileNotFound;
    detail_ = "cannot read " + path;
    return;
  }
  std::string pattern = workDir + "/unpack-XXXXXX";
  if (!lumo::platform::MakeDirs(workDir) || !mkdtemp(pattern.data())) {
    code_ = kStorageFailed;
    detail_ = "cannot make a folder to unpack " + path + " in";
    return;
  }
  folder_ = pattern;
  if (!lumo::UnpackBundle(path, folder_, false, &parts_, &detail_)) {
    code_ = kNotAPackage;
    detail_ = path + " is not a usable bundle: " + detail_;
  }
}

UnpackedBundle::~UnpackedBundle() {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

}  // namespace runbox
