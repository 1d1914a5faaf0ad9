#pragma once

#include <string>
#include <vector>

namespace runbox {

// A bundle (".xapk", ".apks") unpacked into a private folder under `workDir` for the time of
// one install: its split APKs go in as one package. For a plain APK it does nothing.
class UnpackedBundle {
 public:
  UnpackedBundle(const std::string& path, const std::string& workDir);
  ~UnpackedBundle();
  UnpackedBundle(const UnpackedBundle&) = delete;
  UnpackedBundle& operator=(const UnpackedBundle&) = delete;

  bool isBundle() const { return isBundle_; }
  // kOk, or why the bundle cannot be installed; `detail` says more.
  int code() const { return code_; }
  const std::string& detail() const { return detail_; }
  // The unpacked APKs, base first; empty for a plain APK.
  const std::vector<std::string>& parts() const { return parts_; }

 private:
  bool isBundle_ = false;
  int code_ = 0;
  std::string detail_;
  std::string folder_;
  std::vector<std::string> parts_;
};

}  // namespace runbox
