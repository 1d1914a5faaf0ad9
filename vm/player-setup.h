#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lumo {

class DownloadTaskMgr;
class WorkerPool;

// How long a failed player setup waits before it is tried again: 5 s, then twice as long
// after every failure, at most 5 minutes; back to 5 s when someone asks for the player.
class SetupBackOff {
 public:
  static constexpr std::chrono::seconds kFirst{5};
  static constexpr std::chrono::seconds kLongest{300};

  // The wait before the next attempt; each call doubles the one after it.
  std::chrono::seconds Next();
  void Reset() { next_ = kFirst; }

 private:
  std::chrono::seconds next_ = kFirst;
};

// What the player setup is doing, as the main window shows it.
struct PlayerSetupState {
  enum class Phase { kReady, kDownloading, kInstalling, kFailed };
  Phase phase = Phase::kReady;
  int percent = 0;     // of the setup's download
  std::string reason;  // why the last attempt failed, for the user
  int retryInSeconds = 0;
};

// Brings the player onto this machine and keeps trying until it is there: downloads its setup
// (or takes one left in the download folder), runs it, and after a failure tries again with
// back-off, at once when a game needs the player or the user asks. UI thread only; it reaches
// the workers through `jobs` and `downloads` and hears back through the main window's
// handlers, which call the On* functions.
class PlayerSetup : public std::enable_shared_from_this<PlayerSetup> {
 public:
  using Watcher = std::function<void(const PlayerSetupState&)>;

  static std::shared_ptr<PlayerSetup> Create(std::shared_ptr<WorkerPool> jobs,
                                             std::shared_ptr<DownloadTaskMgr> downloads);
  ~PlayerSetup();
  PlayerSetup(const PlayerSetup&) = delete;
  PlayerSetup& operator=(const PlayerSetup&) = delete;

  // Once the main window is up: starts an installed player, or the first attempt.
  void Ensure();
  // A game is to be installed or started: a setup waiting for its next attempt starts now.
  void Need();
  // The user's retry: as Need, and said so in the log.
  void Retry();

  // The setup download's reports and the setup program's end (MSG_PLAYER_SETUP_DONE).
  void OnDownloadProgress(float fraction);
  void OnDownloaded(const std::string& setupPath);
  void OnDownloadFailed(int code);
  void OnSetupEnded();

  const PlayerSetupState& state() const { return state_; }
  // Called with every change of the state, and once at once.
  void Watch(Watcher watcher);

 private:
  PlayerSetup(std::shared_ptr<WorkerPool> jobs, std::shared_ptr<DownloadTaskMgr> downloads);
  void Attempt(const char* why);
  void Download();
  void Install(const std::string& setupPath);
  void Fail(const std::string& reason, const std::string& cause);
  void Show(PlayerSetupState::Phase phase, int percent = 0);

  std::shared_ptr<WorkerPool> jobs_;
  std::shared_ptr<DownloadTaskMgr> downloads_;
  SetupBackOff backOff_;
  PlayerSetupState state_;
  Watcher watcher_;
  unsigned retryTimer_ = 0;
  int attempts_ = 0;
};

}  // namespace lumo
