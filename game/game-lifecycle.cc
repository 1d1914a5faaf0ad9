#include "game/game-lifecycle.h"

#include <cstdio>

#include "apk/package-name.h"
#include "app/log.h"
#include "app/web-address.h"
#include "download/download-task-mgr.h"
#include "vm/player-runtime.h"
#include "vm/vm-abis.h"

namespace lumo {

namespace {

constexpr char kNoSpaceText[] = "下载失败：磁盘空间不足";
constexpr char kGoneReason[] = "安装失败：模拟器中已没有这个游戏，请点击重试重新安装";
// The player's results that lie in the APK itself: not a package at all, and native code only
// for processors the VM cannot run (which Lumo gives too when it finds so before queuing).
constexpr int kNotAPackage = 3;
constexpr int kNoNativeCodeForVm = 4;

// Installing the same file again ends the same way after these; after the others (a player
// that went away, its storage, a refusal on the device) it may not.
bool RetryCanChange(int installResult) {
  return installResult != kNotAPackage && installResult != kNoNativeCodeForVm;
}

// A file that lies directly in `folder`: the only kind of file a delete may remove.
bool IsFileIn(const std::string& path, const std::string& folder) {
  return !path.empty() && !folder.empty() && path.rfind('/') != std::string::npos &&
         path.substr(0, path.rfind('/')) == folder && path.find("/..") == std::string::npos;
}

// A store game's APK is the file Lumo downloaded, named after the package, in whichever
// download folder was set when it was downloaded; a path that climbs or names another file is
// not Lumo's to delete.
bool IsLumosDownload(const AppItemInfo& record) {
  const std::string& path = record.localPath;
  std::size_t slash = path.rfind('/');
  return !record.apkUrl.empty() && !path.empty() && path[0] == '/' && slash != std::string::npos &&
         path.substr(slash + 1) == record.packageName + ".apk" &&
         path.find("/../") == std::string::npos && path.find("/./") == std::string::npos &&
         path.find("//") == std::string::npos;
}

bool IsGoing(const AppItemInfo& record) {
  return record.status == kStatusQueuedForDelete || record.status == kStatusDeleting;
}

// What a store page asks for, checked: the package name becomes file names in the download
// and icons folders, and only web addresses are fetched. False with the reason logged.
bool Acceptable(AppItemInfo& record) {
  if (record.apkUrl.empty() || record.packageName.empty()) {
    Log::instance()->write("%s OnDownloadClicked, url or packagename is emtpy.",
                           record.appName.c_str());
    return false;
  }
  if (!IsValidPackageName(record.packageName)) {
    Log::instance()->write("download request refused: \"%s\" is not a package name.",
                           record.packageName.c_str());
    return false;
  }
  if (!IsWebAddress(record.apkUrl) ||
      (!record.detailUrl.empty() && !IsWebAddress(record.detailUrl))) {
    Log::instance()->write("download request for %s refused: not a web address.",
                           record.packageName.c_str());
    return false;
  }
  if (!record.imageUrl.empty() && !IsWebAddress(record.imageUrl)) {
    Log::instance()->write("icon of %s not fetched: not a web address.",
                           record.packageName.c_str());
    record.imageUrl.clear();
  }
  return true;
}

}  // namespace

GameLifecycle::GameLifecycle(GameActions& actions, GameView& view, GameFolders folders)
    : actions_(actions), view_(view), folders_(std::move(folders)) {}

bool GameLifecycle::Deletable(int status) {
  return status == kStatusDownloadFailed || status == kStatusInstalled ||
         status == kStatusInstallFailed;
}

StatusNote GameLifecycle::NoteOf(const AppItemInfo& record) const {
  StatusNote note;
  auto failure = failures_.find(record.packageName);
  if ((record.status == kStatusDownloadFailed || record.status == kStatusInstallFailed) &&
      failure != failures_.end()) {
    note.reason = failure->second.reason;
    note.retryHelps = failure->second.retryHelps;
  }
  return note;
}

void GameLifecycle::Show(const AppItemInfo& record, const std::string& text) {
  StatusNote note = NoteOf(record);
  note.text = text;
  view_.ShowStatus(record, note);
  view_.StatesChanged();
}

void GameLifecycle::SetStatus(AppItemInfo& record, int status, const std::string& text) {
  record.status = status;
  Show(record, text);
}

GameLifecycle::Request GameLifecycle::RequestDownload(const std::string& json) {
  auto record = std::make_shared<AppItemInfo>();
  DownloadCheck check;
  if (!ParseDownloadRequest(json, record.get(), &check)) {
    Log::instance()->write("download request ignored: not a JSON object of text members.");
    return kIgnored;
  }
  if (!Acceptable(*record)) return kIgnored;
  // The store's button of an installed game starts it: its APK is in the player already.
  auto known = records_.Find(record->packageName);
  if (known && known->status == kStatusInstalled) {
    Log::instance()->write("%s is installed: the store's request launches it.",
                           known->packageName.c_str());
    LaunchGuarded(known->packageName);
    return kLaunched;
  }
  record->status = kStatusQueued;
  record->imagePath = IconPathFor(folders_.iconsDir, record->packageName, record->imageUrl);
  actions_.Report(kEventDownload, record->packageName, 0);
  if (Admit(record)) {
    KeepCheck(record->packageName, check);
    StartDownloads(*record, true);
  }
  return kTaken;
}

bool GameLifecycle::Admit(const std::shared_ptr<AppItemInfo>& record) {
  auto known = records_.Find(record->packageName);
  if (!known) {
    // The view draws the new row from the records, so the record is there first.
    records_.Set(record);
    if (!view_.AddGame(*record)) {
      records_.Erase(record->packageName);
      return false;
    }
  } else if (known->status == kStatusInstalled || known->status == kStatusInstallFailed) {
    // A settled game asked for again starts over as the new record, in the row it has.
    KeepFailure(record->packageName, {});
    Show(*record);
  } else {
    return false;
  }
  records_.Set(record);
  if (known)
    actions_.UpdateRecord(*record);
  else
    actions_.InsertRecord(*record);
  view_.StatesChanged();
  return true;
}

void GameLifecycle::KeepCheck(const std::string& packageName, const DownloadCheck& check) {
  bool had = checks_.erase(packageName) > 0;
  if (!check.empty()) {
    checks_[packageName] = check;
    actions_.SaveCheck(packageName, check);
  } else if (had) {
    actions_.ForgetCheck(packageName);
  }
}

void GameLifecycle::KeepFailure(const std::string& packageName, const FailureReason& failure) {
  auto known = failures_.find(packageName);
  if (failure.reason.empty()) {
    if (known == failures_.end()) return;
    failures_.erase(known);
    actions_.ForgetFailure(packageName);
  } else if (known == failures_.end() || !(known->second == failure)) {
    failures_[packageName] = failure;
    actions_.SaveFailure(packageName, failure);
  }
}

void GameLifecycle::OnFailuresLoaded(const FailureReasons& loaded) {
  // Reasons found since the start are newer than the stored ones.
  for (const auto& [name, failure] : loaded) failures_.emplace(name, failure);
}

void GameLifecycle::OnChecksLoaded(const DownloadChecks& loaded) {
  // Checks made since the start are newer than the stored ones.
  for (const auto& [name, check] : loaded) checks_.emplace(name, check);
}

// The record and what its status calls for are handled at once, in arrival order; only its
// list item may wait for the view.
void GameLifecycle::OnAppLoaded(std::unique_ptr<AppItemInfo> owned) {
  if (!owned) return;
  std::shared_ptr<AppItemInfo> record(std::move(owned));
  if (auto known = records_.Find(record->packageName)) {
    if (known->status != kStatusInstalled && known->status != kStatusInstallFailed) return;
    Show(*record);
  } else {
    view_.QueueLoadedGame(record->packageName);
  }
  records_.Set(record);
  view_.StatesChanged();
  CheckAgainstPlayer(*record);
  // A damaged catalogue may hold a name that would leave the download folder: shown only.
  if (!IsValidPackageName(record->packageName)) {
    Log::instance()->write("stored game \"%s\" has no usable package name; not resumed.",
                           record->packageName.c_str());
    return;
  }
  switch (record->status) {
    case kStatusQueued:
    case kStatusDownloading:
    case kStatusPaused:
    case kStatusDownloadFailed:
      if (IsWebAddress(record->apkUrl))
        StartDownloads(*record, record->status <= kStatusDownloading);
      else
        Log::instance()->write("stored game %s has no web address to download from.",
                               record->packageName.c_str());
      break;
    case kStatusWaitingInstall:
      actions_.Report(kEventInstallQueued, record->packageName, 0);
      // Its native code is checked before the player is asked: the file is read again first.
      reinspecting_.insert(record->packageName);
      actions_.Inspect(record->packageName, record->localPath, {});
      break;
    default:
      break;
  }
}

void GameLifecycle::OnLocalApk(AppItemInfo read, std::vector<std::string> nativeCode) {
  if (read.packageName.empty()) {
    Log::instance()->write("%s is not a readable APK; nothing added.", read.localPath.c_str());
    return;
  }
  auto record = std::make_shared<AppItemInfo>(std::move(read));
  if (!Admit(record)) return;
  nativeCode_[record->packageName] = std::move(nativeCode);
  actions_.Report(kEventInstallQueued, record->packageName, 0);
  QueueInstall(*record);
}

std::string GameLifecycle::LackOfSpace(const std::string& packageName,
                                       const DownloadRoom& room) const {
  // The size the store announced; what a resumed download already holds need not fit again.
  auto check = checks_.find(packageName);
  if (check == checks_.end() || check->second.size <= 0 || !room.freeKnown) return {};
  auto size = static_cast<std::uint64_t>(check->second.size);
  std::uint64_t done = room.partialBytes;
  if (done >= size || room.freeBytes >= size - done) return {};
  return "not enough disk space (" + std::to_string(size - done) + " bytes needed, " +
         std::to_string(room.freeBytes) + " free)";
}

void GameLifecycle::StartDownloads(const AppItemInfo& record, bool startNow) {
  if (!record.imageUrl.empty()) actions_.FetchIcon(record);
  DownloadRoom room = actions_.RoomFor(record.packageName);
  std::string reason = room.blocked, shown;
  if (reason.empty() && !(reason = LackOfSpace(record.packageName, room)).empty())
    shown = kNoSpaceText;
  if (!reason.empty()) {
    Log::instance()->write("%s not downloaded: %s.", record.packageName.c_str(), reason.c_str());
    if (auto live = records_.Find(record.packageName)) FailDownload(*live, shown);
    return;
  }
  actions_.StartDownload(record, startNow);
}

void GameLifecycle::OnDownloadProgress(const std::string& packageName, float fraction,
                                       const std::string& speed) {
  if (packageName == kPlayerTaskKey) {
    actions_.PlayerSetupProgress(fraction);
    return;
  }
  auto record = records_.Find(packageName);
  // Reports that overtake a pause, or reach a game being deleted, change nothing.
  if (!record || (record->status != kStatusQueued && record->status != kStatusDownloading)) return;
  double percent = fraction * 100.0;
  // Truncated toward zero and kept to 0..100, whatever the engine reported (NaN included).
  record->downloadPos = !(percent > 0) ? 0 : percent >= 100 ? 100 : static_cast<int>(percent);
  SetStatus(*record, kStatusDownloading, speed);
  actions_.UpdateRecord(*record);
}

void GameLifecycle::OnDownloadDone(const std::string& packageName, const std::string& path) {
  if (packageName == kPlayerTaskKey) {
    actions_.InstallPlayer(path);
    return;
  }
  auto record = records_.Find(packageName);
  // A download that ends as its game is deleted is not inspected: the delete removes its file.
  if (!record || IsGoing(*record)) return;
  auto check = checks_.find(packageName);
  actions_.Inspect(packageName, path, check == checks_.end() ? DownloadCheck{} : check->second);
}

void GameLifecycle::OnApkInspected(std::unique_ptr<ApkInspection> inspection) {
  if (!inspection) return;
  auto record = records_.Find(inspection->packageName);
  if (!record || IsGoing(*record)) return;
  if (reinspecting_.erase(record->packageName)) {
    if (record->status != kStatusWaitingInstall) return;
    nativeCode_[record->packageName] = inspection->badging.nativeCode;
    QueueInstall(*record);
    return;
  }
  if (!inspection->failure.empty()) {
    Log::instance()->write("%s download refused: %s.", record->packageName.c_str(),
                           inspection->failure.c_str());
    actions_.Report(kEventDownloadFailed, record->packageName, kRefused);
    FailDownload(*record, "下载失败：" + inspection->failure);
    return;
  }
  KeepCheck(record->packageName, {});
  const ApkBadging& badging = inspection->badging;
  if (!badging.packageName.empty() && badging.packageName != record->packageName)
    Log::instance()->write("%s: the downloaded APK names itself %s.", record->packageName.c_str(),
                           badging.packageName.c_str());
  actions_.Report(kEventDownloaded, record->packageName, 0);
  record->localPath = badging.apkPath;
  record->launchActivity = badging.launchActivity;
  nativeCode_[record->packageName] = badging.nativeCode;
  SetStatus(*record, kStatusWaitingInstall);
  actions_.UpdateRecord(*record);
  actions_.Report(kEventInstallQueued, record->packageName, 0);
  QueueInstall(*record);
}

void GameLifecycle::OnDownloadFailed(const std::string& packageName, int code) {
  if (packageName == kPlayerTaskKey) {
    actions_.PlayerSetupFailed(code);
    return;
  }
  auto record = records_.Find(packageName);
  if (!record || IsGoing(*record)) return;
  actions_.Report(kEventDownloadFailed, packageName, code);
  FailDownload(*record, code == DownloadTaskMgr::kFailNoSpace ? kNoSpaceText : "");
}

void GameLifecycle::FailDownload(AppItemInfo& record, const std::string& reason) {
  // Every download failure may end otherwise another time: the network, the store and the
  // folder's free space change.
  if (reason.empty())
    KeepFailure(record.packageName, {});
  else
    KeepFailure(record.packageName, {reason, true});
  SetStatus(record, kStatusDownloadFailed);
  actions_.UpdateRecord(record);
  view_.Tell(record, reason.empty() ? "下载失败" : reason);
}

void GameLifecycle::OnIconReady(const std::string& packageName, const std::string& path) {
  auto record = records_.Find(packageName);
  if (!record || !actions_.IsFile(path)) return;
  record->imagePath = path;
  view_.ShowIcon(packageName, path);
  actions_.UpdateRecord(*record);
}

void GameLifecycle::QueueInstall(AppItemInfo& record) {
  // A game whose native code the VM cannot run fails now rather than after the VM's start.
  auto native = nativeCode_.find(record.packageName);
  std::string mismatch =
      native == nativeCode_.end() ? "" : NativeCodeMismatch(native->second, actions_.VmAbis());
  if (mismatch.empty()) {
    actions_.QueueInstall(record);
    return;
  }
  std::string abis;
  for (const std::string& abi : native->second) abis += (abis.empty() ? "" : ", ") + abi;
  Log::instance()->write("%s not queued for install: %s.", record.packageName.c_str(),
                         mismatch.c_str());
  FinishInstall(record, kNoNativeCodeForVm,
                "安装失败：" + InstallFailureReason(kNoNativeCodeForVm) + "（" + abis + "）");
}

void GameLifecycle::OnInstallStart(const std::string& packageName, int seconds) {
  auto record = records_.Find(packageName);
  if (!record || IsGoing(*record)) return;
  char text[64];
  std::snprintf(text, sizeof text, "预计%d秒内完成", seconds);
  SetStatus(*record, kStatusInstalling, text);
}

void GameLifecycle::OnInstallDone(int result, const std::string& packageName) {
  auto record = records_.Find(packageName);
  // A game deleted meanwhile keeps its delete going.
  if (!record || (record->status != kStatusWaitingInstall && record->status != kStatusInstalling))
    return;
  FinishInstall(*record, result, result == 0 ? "" : "安装失败：" + InstallFailureReason(result));
}

void GameLifecycle::FinishInstall(AppItemInfo& record, int result, const std::string& reason) {
  if (result == 0) {
    actions_.Report(kEventInstalled, record.packageName, 0);
    KeepFailure(record.packageName, {});
  } else {
    actions_.Report(kEventInstallFailed, record.packageName, result);
    KeepFailure(record.packageName, {reason, RetryCanChange(result)});
  }
  SetStatus(record, result == 0 ? kStatusInstalled : kStatusInstallFailed);
  actions_.UpdateRecord(record);
  view_.Tell(record, result == 0 ? "安装完成" : "安装失败");
}

void GameLifecycle::OnUninstallStart(const std::string& packageName) {
  if (auto record = records_.Find(packageName)) SetStatus(*record, kStatusDeleting);
}

void GameLifecycle::OnUninstallDone(const std::string& packageName) {
  if (!records_.Find(packageName)) return;
  Forget(packageName);
}

// By value: the name may be the view's own selection, which removing the game moves on.
void GameLifecycle::Forget(std::string packageName) {
  records_.Erase(packageName);
  KeepFailure(packageName, {});
  nativeCode_.erase(packageName);
  reinspecting_.erase(packageName);
  view_.RemoveGame(packageName);
  view_.StatesChanged();
  actions_.DeleteRecord(packageName);
  KeepCheck(packageName, {});
}

void GameLifecycle::OnPlayerPackages(std::unique_ptr<PlayerPackages> installed) {
  if (!installed) return;
  // Kept for the games the catalogue loads after the answer came.
  playerPackages_ = std::move(installed);
  for (const auto& [name, record] : records_.records()) CheckAgainstPlayer(*record);
}

void GameLifecycle::CheckAgainstPlayer(AppItemInfo& record) {
  if (!playerPackages_) return;
  // Only settled states are judged: a game on its way in or out is the task loop's.
  const std::string& name = record.packageName;
  bool has = playerPackages_->count(name) > 0;
  if (record.status == kStatusInstalled && !has) {
    Log::instance()->write("%s is recorded installed but the player does not have it.",
                           name.c_str());
    KeepFailure(name, {kGoneReason, true});
    record.status = kStatusInstallFailed;
  } else if (record.status == kStatusInstallFailed && has) {
    Log::instance()->write("%s is recorded failed but the player has it installed.", name.c_str());
    KeepFailure(name, {});
    record.status = kStatusInstalled;
  } else {
    return;
  }
  actions_.UpdateRecord(record);
  Show(record);
}

void GameLifecycle::PrimaryAction(const std::string& packageName) {
  auto record = records_.Find(packageName);
  if (!record) return;
  switch (record->status) {
    case kStatusDownloading:
      SetStatus(*record, kStatusPaused);
      actions_.PauseDownload(packageName);
      actions_.UpdateRecord(*record);
      actions_.Report(kEventPause, packageName, 0);
      break;
    case kStatusPaused:
    case kStatusDownloadFailed:
    case kStatusInstallFailed:
      // The button reads as the note says: 重试 where trying again can help, the delete where
      // it cannot.
      if (NoteOf(*record).retryHelps)
        TryAgain(*record);
      else
        Delete(packageName);
      break;
    case kStatusInstalled:
      LaunchGuarded(packageName);
      break;
    default:
      break;
  }
}

void GameLifecycle::TryAgain(AppItemInfo& record) {
  const std::string& name = record.packageName;
  KeepFailure(name, {});
  if (record.status == kStatusInstallFailed) {
    SetStatus(record, kStatusWaitingInstall);
    actions_.Report(kEventInstallQueued, name, 0);
    QueueInstall(record);
    return;
  }
  SetStatus(record, kStatusQueued);
  // A failed task stays registered and starts again; one that never was is registered now.
  if (!actions_.RestartDownload(name)) StartDownloads(record, true);
  actions_.Report(kEventDownload, name, 0);
}

void GameLifecycle::Launch(const std::string& packageName) {
  auto record = records_.Find(packageName);
  // Only an installed game can start; the player answers a launch of any other with a failure.
  if (!record || !Launchable(record->status)) return;
  actions_.Report(kEventLaunch, packageName, 0);
  // The player takes a few seconds to bring a game up: the panel says it is on its way.
  view_.ShowStatus(*record, {.text = "", .reason = "正在启动" + record->appName + "…"});
  actions_.Launch(*record);
}

void GameLifecycle::LaunchGuarded(const std::string& packageName) {
  if (actions_.NowMs() - lastLaunchMs_ < kLaunchGuardMs) return;
  lastLaunchMs_ = actions_.NowMs();
  Launch(packageName);
}

void GameLifecycle::OnLaunchFailed(int code, const std::string& packageName) {
  if (auto record = records_.Find(packageName))
    Say(*record, "启动失败：" + LaunchFailureReason(code));
}

void GameLifecycle::OnLaunchDone(const std::string& packageName, const std::string& deviceModel) {
  // The built-in VM shows the game in its own window, which the player brings to the front; a
  // device shows it on its own screen.
  if (auto record = records_.Find(packageName))
    Say(*record, deviceModel.empty() ? record->appName + " 已在模拟器中启动"
                                     : "游戏已在 " + deviceModel + " 上启动");
}

void GameLifecycle::Say(const AppItemInfo& record, const std::string& text) {
  // In the detail panel for a user who looks at the window, on the desktop for one who does not.
  view_.ShowStatus(record, {.text = "", .reason = text});
  view_.Tell(record, text);
}

void GameLifecycle::RemoveGameFiles(const AppItemInfo& record) {
  // A game added from disk has no address to download from: its APK is the user's own file,
  // never deleted, wherever it lies. Its icon is Lumo's copy, as a store game's is.
  std::string apk = IsLumosDownload(record) ? record.localPath : "";
  std::string icon = IsFileIn(record.imagePath, folders_.iconsDir) ? record.imagePath : "";
  actions_.RemoveFiles(apk, icon);
}

void GameLifecycle::Delete(const std::string& packageName) {
  auto record = records_.Find(packageName);
  if (!record || IsGoing(*record)) return;
  RemoveGameFiles(*record);
  switch (record->status) {
    case kStatusDownloadFailed:
      actions_.DropDownload(packageName);
      Forget(packageName);
      return;
    case kStatusInstallFailed:
      Forget(packageName);
      return;
    case kStatusQueued:
    case kStatusDownloading:
    case kStatusPaused:
      // The download goes with the game instead of finishing into an install.
      actions_.DropDownload(packageName);
      break;
    default:
      break;
  }
  SetStatus(*record, kStatusQueuedForDelete);
  actions_.Report(kEventDelete, packageName, 0);
  actions_.QueueUninstall(packageName);
}

}  // namespace lumo
