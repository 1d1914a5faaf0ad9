#include <condition_variable>
#include <mutex>

#include "components/player/player-log.h"
#include "components/player/player-view.h"

namespace runbox {

namespace {

const char* StateText(VmState state) {
  switch (state) {
    case VmState::kStopped:
      return "stopped";
    case VmState::kBooting:
      return "booting";
    case VmState::kRunning:
      return "running";
    case VmState::kFailed:
      return "failed";
  }
  return "?";
}

class HeadlessView final : public PlayerView {
 public:
  void ShowVmState(VmState state, bool connected) override {
    PlayerLog("state: VM %s, %s", StateText(state), connected ? "connected" : "not connected");
  }
  void ShowPackages(const std::vector<InstalledPackage>& packages) override {
    std::string names;
    for (const InstalledPackage& package : packages) names += " " + package.name;
    PlayerLog("installed:%s", names.empty() ? " none" : names.c_str());
  }
  void ShowLaunched(const InstalledPackage& package) override {
    PlayerLog("now playing: %s (%s)", package.label.c_str(), package.name.c_str());
  }
  void ShowSplash(const std::string&, const std::string&) override {}
  void Quit() override {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    done_.notify_all();
  }
  void Run() override {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return quit_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<PlayerView> CreateHeadlessView() {
  return std::make_unique<HeadlessView>();
}

}  // namespace runbox
