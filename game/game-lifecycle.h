#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "apk/apk-badging.h"
#include "catalogue/app-item-info.h"
#include "catalogue/download-checks.h"
#include "catalogue/failure-reasons.h"
#include "game/game-ports.h"
#include "vm/player-packages.h"

namespace lumo {

// What inspecting a finished download found, handed back from the inspecting worker.
struct ApkInspection {
  std::string packageName;  // the record's key, as the download was named
  ApkBadging badging;       // apkPath is the downloaded file
  DownloadCheck check;      // what the store said the file is
  std::string failure;      // why the file was refused; empty when it passed its check
};

// Where a game's icons go. Downloads go to the download folder of the moment, which the
// settings window may change.
struct GameFolders {
  std::string iconsDir;
};

// The life of every game, from a download request (or an APK added from disk, or a record
// loaded at start) to launch and delete: it takes the events of the workers and the user's
// requests, keeps the live records, and decides the next step, which it asks of `actions`,
// and what the user sees, which it hands to `view`. No toolkit: UI thread only, as the events
// arrive there.
class GameLifecycle {
 public:
  GameLifecycle(GameActions& actions, GameView& view, GameFolders folders);
  GameLifecycle(const GameLifecycle&) = delete;
  GameLifecycle& operator=(const GameLifecycle&) = delete;

  // Usage events of a game's life.
  enum Event : int {
    kEventDownload = 200,
    kEventPause = 201,
    kEventDownloaded = 202,
    kEventDownloadFailed = 203,
    kEventInstallQueued = 204,
    kEventInstalled = 205,
    kEventInstallFailed = 206,
    kEventLaunch = 207,
    kEventDelete = 208,
  };
  // The failure code reported for a download whose file did not pass the store's check.
  static constexpr int kRefused = -2;
  // Two requests to start a game closer than this start it once.
  static constexpr std::int64_t kLaunchGuardMs = 1500;
  // Whether the user may delete a game in this status.
  static bool Deletable(int status);
  static bool Launchable(int status) { return status == kStatusInstalled; }

  // What a store page's request (JSON text) came to: nothing; a game the list has now, new,
  // downloading again after a failed install, or on its way already; the launch of a game
  // that is installed, which is never downloaded again.
  enum Request : int { kIgnored = 0, kTaken, kLaunched };
  Request RequestDownload(const std::string& json);
  // What the detail panel's one button does for the game's status: pause, resume, launch or
  // install again; the delete for a failure that trying again cannot change.
  void PrimaryAction(const std::string& packageName);
  void Launch(const std::string& packageName);
  // Launch, unless the last guarded launch was less than kLaunchGuardMs ago.
  void LaunchGuarded(const std::string& packageName);
  void Delete(const std::string& packageName);

  // Events, in the order a game meets them.
  void OnAppLoaded(std::unique_ptr<AppItemInfo> owned);
  void OnChecksLoaded(const DownloadChecks& loaded);
  void OnFailuresLoaded(const FailureReasons& loaded);
  void OnLocalApk(AppItemInfo read, std::vector<std::string> nativeCode);
  void OnDownloadProgress(const std::string& packageName, float fraction, const std::string& speed);
  void OnDownloadDone(const std::string& packageName, const std::string& path);
  void OnApkInspected(std::unique_ptr<ApkInspection> inspection);
  void OnDownloadFailed(const std::string& packageName, int code);
  void OnIconReady(const std::string& packageName, const std::string& path);
  void OnInstallStart(const std::string& packageName, int seconds);
  void OnInstallDone(int result, const std::string& packageName);
  void OnUninstallStart(const std::string& packageName);
  void OnUninstallDone(const std::string& packageName);
  void OnLaunchFailed(int code, const std::string& packageName);
  // The player started the game; on an Android device of this model when it is not empty.
  void OnLaunchDone(const std::string& packageName, const std::string& deviceModel);
  // The VM has started and the player listed what it has installed.
  void OnPlayerPackages(std::unique_ptr<PlayerPackages> installed);

  const AppItemMap& records() const { return records_; }
  std::shared_ptr<AppItemInfo> Find(const std::string& packageName) const {
    return records_.Find(packageName);
  }
  // The note that goes with the game's status as it stands.
  StatusNote NoteOf(const AppItemInfo& record) const;

 private:
  // A new game from the store or from disk: shown and recorded; false when the list already
  // has it in a state that the new one may not replace.
  bool Admit(const std::shared_ptr<AppItemInfo>& record);
  void Show(const AppItemInfo& record, const std::string& text = {});
  void SetStatus(AppItemInfo& record, int status, const std::string& text = {});
  void StartDownloads(const AppItemInfo& record, bool startNow);
  // Resumes a paused or failed download, or installs a failed game again.
  void TryAgain(AppItemInfo& record);
  // Why the announced size of the game's APK cannot fit; empty when it can or nothing was
  // announced.
  std::string LackOfSpace(const std::string& packageName, const DownloadRoom& room) const;
  void FailDownload(AppItemInfo& record, const std::string& reason = {});
  void KeepCheck(const std::string& packageName, const DownloadCheck& check);
  // Keeps the game's failure, stored; an empty reason forgets it.
  void KeepFailure(const std::string& packageName, const FailureReason& failure);
  void QueueInstall(AppItemInfo& record);
  void FinishInstall(AppItemInfo& record, int result, const std::string& reason);
  void CheckAgainstPlayer(AppItemInfo& record);
  // A launch's outcome, where the user will see it.
  void Say(const AppItemInfo& record, const std::string& text);
  void RemoveGameFiles(const AppItemInfo& record);
  void Forget(std::string packageName);

  GameActions& actions_;
  GameView& view_;
  GameFolders folders_;
  AppItemMap records_;
  DownloadChecks checks_;
  // Why a game in status 3 or 7 failed, and whether trying again can change it; stored, so
  // that a restart still says why.
  FailureReasons failures_;
  // The ABIs of each inspected APK's native code, checked before every install is queued.
  std::map<std::string, std::vector<std::string>> nativeCode_;
  // Games waiting for their install at start, read again before they are queued.
  std::set<std::string> reinspecting_;
  std::unique_ptr<PlayerPackages> playerPackages_;
  // Monotonic milliseconds of the last guarded launch (detail panel, store page); none yet.
  std::int64_t lastLaunchMs_ = INT64_MIN / 2;
};

}  // namespace lumo
