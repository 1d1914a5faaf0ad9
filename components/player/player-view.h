#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/player/package-record.h"

namespace runbox {

enum class VmState { kStopped, kBooting, kRunning, kFailed };

// What the player shows. Called on the player's worker threads; a window implementation hands
// the calls to its own thread.
class PlayerView {
 public:
  virtual ~PlayerView() = default;
  virtual void ShowVmState(VmState state, bool connected) = 0;
  virtual void ShowPackages(const std::vector<InstalledPackage>& packages) = 0;
  virtual void ShowLaunched(const InstalledPackage& package) = 0;
  virtual void ShowSplash(const std::string& iconPath, const std::string& appName) = 0;
  // The player is ending: the view lets the main thread return.
  virtual void Quit() = 0;
  // Runs on the main thread until Quit.
  virtual void Run() = 0;
};

// Writes every change to the player's log and waits for Quit: for tests and sessions without a
// display.
std::unique_ptr<PlayerView> CreateHeadlessView();
// A small GTK window; null when GTK cannot open the display.
std::unique_ptr<PlayerView> CreateWindowView(int* argc, char*** argv);

}  // namespace runbox
