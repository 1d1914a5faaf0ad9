#include "vm/player-setup.h"

#include <algorithm>

#include "app/log.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/worker-pool.h"
#include "download/download-task-mgr.h"
#include "platform/file-system.h"
#include "platform/ui-loop.h"
#include "vm/player-runtime.h"

namespace lumo {

namespace {

std::string SetupPath() {
  return PathJoin(Settings::instance().downloadDir, kPlayerSetupFileName);
}

// What the user is told of a failed setup download: the engine's code goes to the log, the
// window says what the user can do about it.
std::string SetupDownloadFailure(int code) {
  switch (code) {
    case DownloadTaskMgr::kFailNoSpace:
      return "模拟器下载失败：磁盘空间不足";
    case DownloadTaskMgr::kFailNotFound:
      return "模拟器下载失败：服务器上没有模拟器安装包";
    case DownloadTaskMgr::kFailTimedOut:
    case DownloadTaskMgr::kFailTooSlow:
      return "模拟器下载失败：网络太慢，请稍后再试";
    default:  // refused, unreachable, cut off: the network or the server is down
      return "模拟器下载失败：连不上下载服务器，请检查网络";
  }
}

}  // namespace

std::chrono::seconds SetupBackOff::Next() {
  std::chrono::seconds wait = next_;
  next_ = std::min(next_ * 2, kLongest);
  return wait;
}

std::shared_ptr<PlayerSetup> PlayerSetup::Create(std::shared_ptr<WorkerPool> jobs,
                                                 std::shared_ptr<DownloadTaskMgr> downloads) {
  return std::shared_ptr<PlayerSetup>(new PlayerSetup(std::move(jobs), std::move(downloads)));
}

PlayerSetup::PlayerSetup(std::shared_ptr<WorkerPool> jobs,
                         std::shared_ptr<DownloadTaskMgr> downloads)
    : jobs_(std::move(jobs)), downloads_(std::move(downloads)) {}

PlayerSetup::~PlayerSetup() {
  platform::CancelTimer(retryTimer_);
}

void PlayerSetup::Ensure() {
  LUMO_CHECK_UI_THREAD();
  if (IsPlayerInstalled()) {
    if (!IsPlayerRunning()) LaunchPlayer();
    return;
  }
  Attempt("the player is not installed");
}

void PlayerSetup::Need() {
  LUMO_CHECK_UI_THREAD();
  if (state_.phase == PlayerSetupState::Phase::kFailed ||
      (state_.phase == PlayerSetupState::Phase::kReady && !IsPlayerInstalled())) {
    backOff_.Reset();
    Attempt("a game needs the player");
  }
}

void PlayerSetup::Retry() {
  LUMO_CHECK_UI_THREAD();
  // A click that overtakes the end of a running attempt changes nothing.
  if (state_.phase != PlayerSetupState::Phase::kFailed) return;
  backOff_.Reset();
  Attempt("the user asked again");
}

void PlayerSetup::Attempt(const char* why) {
  platform::CancelTimer(retryTimer_);
  retryTimer_ = 0;
  ++attempts_;
  if (IsPlayerInstalled()) {
    Show(PlayerSetupState::Phase::kReady);
    if (!IsPlayerRunning()) LaunchPlayer();
    return;
  }
  std::string setupPath = SetupPath();
  if (platform::PathExists(setupPath)) {
    Log::instance()->write("player setup attempt %d (%s): running %s.", attempts_, why,
                           setupPath.c_str());
    Install(setupPath);
    return;
  }
  Log::instance()->write("player setup attempt %d (%s): downloading %s.", attempts_, why,
                         PlayerSetupUrl().c_str());
  Download();
}

void PlayerSetup::Download() {
  Show(PlayerSetupState::Phase::kDownloading);
  auto task = std::make_shared<DownloadTask>(
      kPlayerTaskKey, PlayerSetupUrl(), Settings::instance().downloadDir, kPlayerSetupFileName);
  // The engine is loaded and started on a worker, so that the window stays responsive; the
  // task goes to the manager on the UI thread, where its callers are.
  std::weak_ptr<PlayerSetup> self = weak_from_this();
  jobs_->Run("engine start", [task, downloads = downloads_, self] {
    bool available = downloads->available();
    platform::InvokeOnUiThread([task, downloads, self, available] {
      std::shared_ptr<PlayerSetup> setup = self.lock();
      if (!setup) return;
      // The failed task of an earlier attempt gives way to a new one.
      downloads->stopTask(kPlayerTaskKey);
      downloads->removeTask(kPlayerTaskKey);
      if (!available || !downloads->addTask(task) || !downloads->startTask(kPlayerTaskKey))
        setup->Fail("模拟器下载失败：下载组件不可用", "the download engine is not available");
    });
  });
}

void PlayerSetup::Install(const std::string& setupPath) {
  Show(PlayerSetupState::Phase::kInstalling);
  InstallPlayerAsync(*jobs_, setupPath);
}

void PlayerSetup::OnDownloadProgress(float fraction) {
  LUMO_CHECK_UI_THREAD();
  if (state_.phase != PlayerSetupState::Phase::kDownloading) return;
  // Kept to 0..100 whatever the engine reported, NaN included.
  int percent = !(fraction > 0) ? 0 : fraction >= 1 ? 100 : static_cast<int>(fraction * 100);
  if (percent != state_.percent) Show(PlayerSetupState::Phase::kDownloading, percent);
}

void PlayerSetup::OnDownloaded(const std::string& setupPath) {
  LUMO_CHECK_UI_THREAD();
  Log::instance()->write("player setup downloaded to %s.", setupPath.c_str());
  Install(setupPath);
}

void PlayerSetup::OnDownloadFailed(int code) {
  LUMO_CHECK_UI_THREAD();
  if (state_.phase != PlayerSetupState::Phase::kDownloading) return;
  downloads_->removeTask(kPlayerTaskKey);
  Fail(SetupDownloadFailure(code),
       "the download of " + PlayerSetupUrl() + " failed with engine code " + std::to_string(code));
}

void PlayerSetup::OnSetupEnded() {
  LUMO_CHECK_UI_THREAD();
  if (IsPlayerInstalled()) {
    Log::instance()->write("player installed as %s.", PlayerExePath().c_str());
    backOff_.Reset();
    Show(PlayerSetupState::Phase::kReady);
    LaunchPlayer();
    return;
  }
  // A damaged setup would fail the same way again: the next attempt downloads a new one.
  platform::RemoveFile(SetupPath());
  Fail("模拟器安装失败", "the setup left no player at " + PlayerExePath());
}

void PlayerSetup::Fail(const std::string& reason, const std::string& cause) {
  std::chrono::seconds wait = backOff_.Next();
  Log::instance()->write("player setup attempt %d failed: %s; next attempt in %d s.", attempts_,
                         cause.c_str(), static_cast<int>(wait.count()));
  state_.reason = reason;
  state_.retryInSeconds = static_cast<int>(wait.count());
  Show(PlayerSetupState::Phase::kFailed);
  // Cancelled by the destructor, so the timer never outlives this object.
  retryTimer_ = platform::AddTimer(static_cast<unsigned>(wait.count() * 1000), [this] {
    retryTimer_ = 0;
    Attempt("back-off elapsed");
    return false;
  });
}

void PlayerSetup::Show(PlayerSetupState::Phase phase, int percent) {
  state_.phase = phase;
  state_.percent = percent;
  if (phase != PlayerSetupState::Phase::kFailed) {
    state_.reason.clear();
    state_.retryInSeconds = 0;
  }
  if (watcher_) watcher_(state_);
}

void PlayerSetup::Watch(Watcher watcher) {
  LUMO_CHECK_UI_THREAD();
  watcher_ = std::move(watcher);
  if (watcher_) watcher_(state_);
}

}  // namespace lumo
