#pragma once

#include <chrono>
#include <string>

namespace lumo {

// Fetches one small file (a game's icon) synchronously on the calling thread and then tells
// the windows registered for MSG_ICON_READY (1041) that it is done: exactly once, whether
// the transfer worked or not; the receiver checks the file itself. The transfer is bounded
// by a short timeout, so a dead host cannot hold the calling (UI) thread for long. The file
// is written under a temporary name beside the target and renamed only when complete, so a
// failed transfer leaves no partial file and nothing is written outside the target's folder.
class SmallFileDownloader {
 public:
  static constexpr std::chrono::seconds kConnectTimeout{3};
  static constexpr std::chrono::seconds kTransferTimeout{10};
  // Icons are small; anything bigger is not an icon.
  static constexpr long long kMaxBytes = 16ll << 20;

  SmallFileDownloader(std::string url, std::string filePath, std::string key);
  SmallFileDownloader(const SmallFileDownloader&) = delete;
  SmallFileDownloader& operator=(const SmallFileDownloader&) = delete;

  void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds transfer);
  // Runs the transfer, sends 1041 and returns whether the file is complete. Once only.
  bool run();

  // Downloads url to filePath for key, the way the item lifecycle starts an icon download.
  static bool Download(const std::string& url, const std::string& filePath, const std::string& key);

 private:
  bool transfer();

  const std::string url_;
  const std::string filePath_;
  const std::string key_;
  std::chrono::milliseconds connectTimeout_ = kConnectTimeout;
  std::chrono::milliseconds transferTimeout_ = kTransferTimeout;
  bool done_ = false;
};

}  // namespace lumo
