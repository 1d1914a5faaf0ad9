#include "ui/item-lifecycle.h"

#include <chrono>
#include <cstdio>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/worker-pool.h"
#include "catalogue/app-database-task-loop.h"
#include "catalogue/download-request.h"
#include "download/download-task-mgr.h"
#include "download/small-file-downloader.h"
#include "platform/file-system.h"
#include "platform/ui-loop.h"
#include "stat/data-stat.h"
#include "toolkit/controls.h"
#include "ui/hard-fail-wnd.h"
#include "ui/main-frame.h"
#include "ui/notifier.h"
#include "ui/progress-ui-ex.h"
#include "ui/progress-widget.h"
#include "vm/player-runtime.h"
#include "vm/vm-abis.h"
#include "vm/vm-bridge-client.h"
#include "vm/vm-task-loop.h"

namespace lumo {

namespace {

// Usage events of a game's life.
enum : int {
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

// Two clicks on "启动" closer than this start the game once.
constexpr std::int64_t kLaunchGuardMs = 1500;
// The failure code reported for a download whose file did not pass the store's check.
constexpr int kRefused = -2;
constexpr char kNoSpaceText[] = "下载失败：磁盘空间不足";
// The player's result for an APK without native code for its VM; Lumo gives it too when it
// finds so before queuing.
constexpr int kNoNativeCodeForVm = 4;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Text(WParam value) {
  const char* text = reinterpret_cast<const char*>(value);
  return text ? text : "";
}

// A file that lies directly in `folder`: the only kind of file a delete may remove.
bool IsFileIn(const std::string& path, const std::string& folder) {
  return !path.empty() && !folder.empty() && path.rfind('/') != std::string::npos &&
         path.substr(0, path.rfind('/')) == folder && path.find("/..") == std::string::npos;
}

}  // namespace

ItemLifecycle::ItemLifecycle(MainFrame& frame)
    : frame_(frame),
      downloadDir_(Settings::instance().downloadDir),
      iconsDir_(Settings::instance().iconsDir) {
  LUMO_CHECK_UI_THREAD();
  installList_ = frame.FindList("InstallList");
  tabAppList_ = frame.FindTabLayout("TabAppList");
  tabDetail_ = frame.FindTabLayout("TabDetail");
  checkboxTrash_ = frame.FindCheckBox("checkbox_trash");
  detailSpeed_ = frame.FindLabel("DetailSpeed");
  progress_ = ProgressFromWidget(frame.FindCustom("DownloadProgress", ProgressWidgetType()));
  browseDetail_ = frame.FindBrowser("BrowseDetail");
  OrderList();
  // A notification that is clicked brings the window up on its game.
  notifier_ = std::make_unique<Notifier>(frame.window(), [this](const std::string& packageName) {
    frame_.BringToFront();
    SelectGame(packageName);
  });
  // Status 4 reads "模拟器安装中" only while the player is really missing.
  CProgressUIEx::SetPlayerInstalledQuery(IsPlayerInstalled);
}

ItemLifecycle::~ItemLifecycle() {
  LUMO_CHECK_UI_THREAD();
  platform::CancelTimer(detailTimer_);
  if (loadingIdle_) g_source_remove(loadingIdle_);
  Unregister();
}

AppDatabaseTaskLoop& ItemLifecycle::catalogue() {
  return *frame_.workers().catalogue;
}

void ItemLifecycle::PostUpdate(const AppItemInfo& record) {
  PostUpdateApp(catalogue(), std::make_shared<AppItemInfo>(record));
}

void ItemLifecycle::Register(platform::WindowHandle window) {
  LUMO_CHECK_UI_THREAD();
  window_ = window;
  auto on = [this](std::uint32_t id, DispatchHandler handler) {
    Dispatcher::instance()->Register(id, window_, std::move(handler));
    registered_.push_back(id);
  };
  // Parameters as the senders fill them; text arrives as UTF-8 valid for the send only.
  on(MSG_APP_LOADED,
     [this](WParam w, LParam) { OnAppLoaded(Dispatcher::TakeOwned<AppItemInfo>(w)); });
  on(MSG_LOCAL_APK_READY,
     [this](WParam w, LParam) { OnLocalApkReady(Dispatcher::TakeOwned<LocalApk>(w)); });
  on(MSG_APK_INSPECTED,
     [this](WParam w, LParam) { OnApkInspected(Dispatcher::TakeOwned<ApkInspection>(w)); });
  on(MSG_DOWNLOAD_CLICKED, [this](WParam w, LParam) { OnDownloadClicked(Text(w)); });
  on(MSG_DOWNLOAD_PROGRESS, [this](WParam w, LParam l) {
    const auto* info = reinterpret_cast<const DownloadProgressInfo*>(l);
    if (!info) return;
    std::string speed(info->speedText, strnlen(info->speedText, sizeof info->speedText));
    OnDownloadProgress(Text(w), info->percent, speed);
  });
  on(MSG_DOWNLOAD_DONE, [this](WParam w, LParam l) { OnDownloadDone(Text(w), Text(l)); });
  on(MSG_DOWNLOAD_FAILED,
     [this](WParam w, LParam l) { OnDownloadFailed(Text(w), static_cast<int>(l)); });
  on(MSG_ICON_READY, [this](WParam w, LParam l) { OnIconReady(Text(w), Text(l)); });
  on(MSG_INSTALL_START,
     [this](WParam w, LParam l) { OnInstallStart(Text(w), static_cast<int>(l)); });
  on(MSG_INSTALL_DONE, [this](WParam w, LParam l) { OnInstallDone(static_cast<int>(w), Text(l)); });
  on(MSG_UNINSTALL_START, [this](WParam w, LParam) { OnUninstallStart(Text(w)); });
  on(MSG_UNINSTALL_DONE, [this](WParam, LParam l) { OnUninstallDone(Text(l)); });
  on(MSG_LAUNCH_SELECTED, [this](WParam, LParam) { OnLaunchSelected(); });
  on(MSG_UNINSTALL_SELECTED, [this](WParam, LParam) { OnUninstallSelected(); });
  on(MSG_LAUNCH_FAILED,
     [this](WParam w, LParam l) { OnLaunchFailed(static_cast<int>(w), Text(l)); });
  on(MSG_PLAYER_PACKAGES,
     [this](WParam w, LParam) { OnPlayerPackages(Dispatcher::TakeOwned<PlayerPackages>(w)); });
  on(MSG_DOWNLOAD_CHECKS_LOADED, [this](WParam w, LParam) {
    // Checks made since the start are newer than the stored ones.
    if (auto loaded = Dispatcher::TakeOwned<DownloadChecks>(w)) checks_.merge(*loaded);
  });
}

void ItemLifecycle::Unregister() {
  LUMO_CHECK_UI_THREAD();
  for (std::uint32_t id : registered_) Dispatcher::instance()->Unregister(id, window_);
  registered_.clear();
}

void ItemLifecycle::OnDownloadClicked(const std::string& json) {
  LUMO_CHECK_UI_THREAD();
  if (!HardwareCheck(&frame_)) return;
  auto record = std::make_shared<AppItemInfo>();
  DownloadCheck check;
  if (!ParseDownloadRequest(json, record.get(), &check)) {
    Log::instance()->write("download request ignored: not a JSON object of text members.");
    return;
  }
  if (record->apkUrl.empty() || record->packageName.empty()) {
    Log::instance()->write("%s OnDownloadClicked, url or packagename is emtpy.",
                           record->appName.c_str());
    return;
  }
  // The package name becomes file names in the download and icons folders.
  if (!IsValidPackageName(record->packageName)) {
    Log::instance()->write("download request refused: \"%s\" is not a package name.",
                           record->packageName.c_str());
    return;
  }
  if (!IsWebAddress(record->apkUrl) ||
      (!record->detailUrl.empty() && !IsWebAddress(record->detailUrl))) {
    Log::instance()->write("download request for %s refused: not a web address.",
                           record->packageName.c_str());
    return;
  }
  if (!record->imageUrl.empty() && !IsWebAddress(record->imageUrl)) {
    Log::instance()->write("icon of %s not fetched: not a web address.",
                           record->packageName.c_str());
    record->imageUrl.clear();
  }
  record->status = kStatusQueued;
  record->imagePath = IconPathFor(iconsDir_, record->packageName, record->imageUrl);
  ReportEvent(kEventDownload, record->packageName);
  if (ShowItem(record)) {
    AppItemMap::instance().Set(record);
    PostInsertApp(catalogue(), std::make_shared<AppItemInfo>(*record));
    KeepCheck(record->packageName, check);
    StartDownloads(*record, true);
  }
  frame_.ShowMyGamesTab();
}

void ItemLifecycle::KeepCheck(const std::string& packageName, const DownloadCheck& check) {
  bool had = checks_.erase(packageName) > 0;
  if (!check.empty()) {
    checks_[packageName] = check;
    catalogue().post(std::make_shared<SaveDownloadCheckTask>(packageName, check));
  } else if (had) {
    catalogue().post(std::make_shared<ForgetDownloadCheckTask>(packageName));
  }
}

// The record and what its status calls for are handled at once, in arrival order; only its
// list item waits for the idle job.
void ItemLifecycle::OnAppLoaded(std::unique_ptr<AppItemInfo> owned) {
  LUMO_CHECK_UI_THREAD();
  if (!owned) return;
  std::shared_ptr<AppItemInfo> record(std::move(owned));
  if (AppItemMap::instance().Find(record->packageName)) {
    if (!ShowItem(record)) return;
  } else {
    QueueLoadedItem(record->packageName);
  }
  AppItemMap::instance().Set(record);
  CheckAgainstPlayer(*record);
  // A damaged catalogue may hold a name that would leave the download folder: shown only.
  if (!IsValidPackageName(record->packageName)) {
    Log::instance()->write("stored game \"%s\" has no usable package name; not resumed.",
                           record->packageName.c_str());
    return;
  }
  bool downloadable = IsWebAddress(record->apkUrl);
  switch (record->status) {
    case kStatusQueued:
    case kStatusDownloading:
    case kStatusPaused:
    case kStatusDownloadFailed:
      if (downloadable)
        StartDownloads(*record, record->status <= kStatusDownloading);
      else
        Log::instance()->write("stored game %s has no web address to download from.",
                               record->packageName.c_str());
      break;
    case kStatusWaitingInstall:
      ReportEvent(kEventInstallQueued, record->packageName);
      QueueInstall(*record);
      break;
    default:
      break;
  }
}

void ItemLifecycle::OnLocalApkReady(std::unique_ptr<LocalApk> local) {
  LUMO_CHECK_UI_THREAD();
  if (!local) return;
  if (local->record.packageName.empty()) {
    Log::instance()->write("%s is not a readable APK; nothing added.",
                           local->record.localPath.c_str());
    return;
  }
  auto record = std::make_shared<AppItemInfo>(std::move(local->record));
  if (!ShowItem(record)) return;
  nativeCode_[record->packageName] = std::move(local->nativeCode);
  AppItemMap::instance().Set(record);
  PostInsertApp(catalogue(), std::make_shared<AppItemInfo>(*record));
  ReportEvent(kEventInstallQueued, record->packageName);
  QueueInstall(*record);
}

void ItemLifecycle::StartDownloads(const AppItemInfo& record, bool startNow) {
  if (!record.imageUrl.empty() && !platform::PathExists(record.imagePath)) {
    // Off the UI thread: a slow icon host must not freeze the window. The downloader reports
    // through the Dispatcher whatever happens.
    frame_.workers().jobs->Run("icon download", [url = record.imageUrl, path = record.imagePath,
                                                 packageName = record.packageName] {
      SmallFileDownloader::Download(url, path, packageName);
    });
  }
  auto manager = frame_.workers().downloads;
  std::string reason, shown;
  if (!platform::MakeDirs(downloadDir_) || !platform::IsWritableDirectory(downloadDir_))
    reason = "the download folder " + downloadDir_ + " cannot be written";
  else if (!manager->available())
    reason = "the download engine is not available";
  else if (!(reason = LackOfSpace(record.packageName)).empty())
    shown = kNoSpaceText;
  if (!reason.empty()) {
    Log::instance()->write("%s not downloaded: %s.", record.packageName.c_str(), reason.c_str());
    if (auto live = AppItemMap::instance().Find(record.packageName)) FailDownload(*live, shown);
    return;
  }
  // A download of a game that was downloaded before starts from a new task.
  manager->stopTask(record.packageName);
  manager->removeTask(record.packageName);
  manager->addTask(std::make_shared<DownloadTask>(record.packageName, record.apkUrl, downloadDir_,
                                                  record.packageName + ".apk"));
  if (startNow) manager->startTask(record.packageName);
}

void ItemLifecycle::OnDownloadProgress(const std::string& packageName, float fraction,
                                       const std::string& speed) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  // Reports that overtake a pause, or reach a game being deleted, change nothing.
  if (!record || (record->status != kStatusQueued && record->status != kStatusDownloading)) return;
  record->status = kStatusDownloading;
  double percent = fraction * 100.0;
  // Truncated toward zero and kept to 0..100, whatever the engine reported (NaN included).
  record->downloadPos = !(percent > 0) ? 0 : percent >= 100 ? 100 : static_cast<int>(percent);
  PostUpdate(*record);
  SetItemLabel(packageName, kStatusDownloading);
  if (IsSelected(packageName)) UpdateDetail(kStatusDownloading, speed, record->downloadPos);
}

void ItemLifecycle::OnDownloadDone(const std::string& packageName, const std::string& path) {
  LUMO_CHECK_UI_THREAD();
  if (packageName == kPlayerTaskKey) {
    InstallPlayerAsync(*frame_.workers().jobs, path);
    return;
  }
  if (!AppItemMap::instance().Find(packageName)) return;
  // aapt may take seconds on a large APK: it runs on a worker and its findings come back as
  // MSG_APK_INSPECTED.
  auto inspection = std::make_unique<ApkInspection>();
  inspection->packageName = packageName;
  inspection->badging.apkPath = path;
  if (auto check = checks_.find(packageName); check != checks_.end())
    inspection->check = check->second;
  frame_.workers().jobs->Run("apk inspection", [inspection = std::move(inspection)]() mutable {
    inspection->failure = VerifyDownload(inspection->badging.apkPath, inspection->check);
    // A refused file is not kept: a retry downloads it afresh.
    if (!inspection->failure.empty())
      platform::RemoveFile(inspection->badging.apkPath);
    else
      ReadApkBadging(inspection->badging);
    Dispatcher::instance()->SendOwned(MSG_APK_INSPECTED, std::move(inspection));
  });
}

void ItemLifecycle::OnApkInspected(std::unique_ptr<ApkInspection> inspection) {
  LUMO_CHECK_UI_THREAD();
  if (!inspection) return;
  auto record = AppItemMap::instance().Find(inspection->packageName);
  if (!record || record->status == kStatusQueuedForDelete || record->status == kStatusDeleting)
    return;
  if (!inspection->failure.empty()) {
    Log::instance()->write("%s download refused: %s.", record->packageName.c_str(),
                           inspection->failure.c_str());
    ReportEvent(kEventDownloadFailed, record->packageName, kRefused);
    FailDownload(*record, "下载失败：" + inspection->failure);
    return;
  }
  KeepCheck(record->packageName, {});
  const ApkBadging& badging = inspection->badging;
  if (!badging.packageName.empty() && badging.packageName != record->packageName)
    Log::instance()->write("%s: the downloaded APK names itself %s.", record->packageName.c_str(),
                           badging.packageName.c_str());
  ReportEvent(kEventDownloaded, record->packageName);
  record->localPath = badging.apkPath;
  record->launchActivity = badging.launchActivity;
  nativeCode_[record->packageName] = badging.nativeCode;
  record->status = kStatusWaitingInstall;
  PostUpdate(*record);
  SetItemLabel(record->packageName, kStatusWaitingInstall);
  if (IsSelected(record->packageName)) UpdateDetail(kStatusWaitingInstall, {}, 0);
  ReportEvent(kEventInstallQueued, record->packageName);
  QueueInstall(*record);
}

void ItemLifecycle::OnDownloadFailed(const std::string& packageName, int code) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  if (!record) return;
  ReportEvent(kEventDownloadFailed, packageName, code);
  FailDownload(*record, code == DownloadTaskMgr::kFailNoSpace ? kNoSpaceText : "");
}

std::string ItemLifecycle::LackOfSpace(const std::string& packageName) const {
  // The size the store announced; what a resumed download already holds need not fit again.
  auto check = checks_.find(packageName);
  std::uint64_t free = 0, done = 0;
  if (check == checks_.end() || check->second.size <= 0 ||
      !platform::FreeSpaceOf(downloadDir_, &free))
    return {};
  platform::RegularFileSize(PathJoin(downloadDir_, packageName + ".apk"), &done);
  auto size = static_cast<std::uint64_t>(check->second.size);
  if (done >= size || free >= size - done) return {};
  return "not enough disk space (" + std::to_string(size - done) + " bytes needed, " +
         std::to_string(free) + " free)";
}

void ItemLifecycle::FailDownload(AppItemInfo& record, const std::string& reason) {
  record.status = kStatusDownloadFailed;
  PostUpdate(record);
  SetItemLabel(record.packageName, kStatusDownloadFailed);
  notifier_->Tell(record, reason.empty() ? "下载失败" : reason);
  if (!IsSelected(record.packageName)) return;
  UpdateDetail(kStatusDownloadFailed, {}, 0);
  if (!reason.empty()) toolkit::SetText(GTK_WIDGET(detailSpeed_), reason);
}

void ItemLifecycle::OnIconReady(const std::string& packageName, const std::string& path) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  // The downloader reports failures too; only a file that is there changes the record.
  if (!record || !platform::PathExists(path)) return;
  record->imagePath = path;
  SetItemIcon(packageName, path);
  PostUpdate(*record);
}

void ItemLifecycle::QueueInstall(const AppItemInfo& record) {
  // A game whose native code the VM cannot run fails now rather than after the VM's start.
  auto native = nativeCode_.find(record.packageName);
  std::string mismatch =
      native == nativeCode_.end() ? "" : NativeCodeMismatch(native->second, KnownVmAbis());
  if (!mismatch.empty()) {
    std::string name = record.packageName, abis;
    for (const std::string& abi : native->second) abis += (abis.empty() ? "" : ", ") + abi;
    Log::instance()->write("%s not queued for install: %s.", name.c_str(), mismatch.c_str());
    OnInstallDone(kNoNativeCodeForVm, name);
    failureReasons_[name] =
        "安装失败：" + InstallFailureReason(kNoNativeCodeForVm) + "（" + abis + "）";
    if (auto live = AppItemMap::instance().Find(name)) ShowFailureReason(*live);
    return;
  }
  frame_.workers().vmTasks->AddTask(
      std::make_shared<ApkInstallTask>(record.localPath, record.packageName));
}

void ItemLifecycle::OnInstallStart(const std::string& packageName, int seconds) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  if (!record) return;
  SetItemLabel(packageName, kStatusInstalling);
  record->status = kStatusInstalling;
  if (!IsSelected(packageName)) return;
  char text[64];
  std::snprintf(text, sizeof text, "预计%d秒内完成", seconds);
  UpdateDetail(kStatusInstalling, text, 0);
}

void ItemLifecycle::OnInstallDone(int result, const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  // A game deleted meanwhile keeps its delete going.
  if (!record || (record->status != kStatusWaitingInstall && record->status != kStatusInstalling))
    return;
  int status = result == 0 ? kStatusInstalled : kStatusInstallFailed;
  if (result == 0)
    ReportEvent(kEventInstalled, packageName);
  else
    ReportEvent(kEventInstallFailed, packageName, result);
  SetItemLabel(packageName, status);
  record->status = status;
  PostUpdate(*record);
  if (result == 0)
    failureReasons_.erase(packageName);
  else
    failureReasons_[packageName] = "安装失败：" + InstallFailureReason(result);
  if (IsSelected(packageName)) UpdateDetail(status, {}, 0);
  notifier_->Tell(*record, result == 0 ? "安装完成" : "安装失败");
  ShowFailureReason(*record);
}

void ItemLifecycle::OnUninstallStart(const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(packageName);
  if (!record) return;
  SetItemLabel(packageName, kStatusDeleting);
  record->status = kStatusDeleting;
  if (IsSelected(packageName)) UpdateDetail(kStatusDeleting, {}, 0);
}

void ItemLifecycle::OnUninstallDone(const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  if (!ItemOf(packageName) && !AppItemMap::instance().Find(packageName)) return;
  RemoveItem(packageName);
  failureReasons_.erase(packageName);
  nativeCode_.erase(packageName);
  PostDeleteApp(catalogue(), packageName);
  KeepCheck(packageName, {});
}

void ItemLifecycle::OnProgressClicked() {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(selectedPackage_);
  if (!record || !progress_) return;
  switch (progress_->state()) {
    case kStatusDownloading:
      Pause(*record);
      break;
    case kStatusPaused:
    case kStatusDownloadFailed:
      Resume(*record);
      break;
    case kStatusInstalled:
      if (NowMs() - lastLaunchMs_ < kLaunchGuardMs) return;
      lastLaunchMs_ = NowMs();
      Launch(*record);
      break;
    case kStatusInstallFailed:
      InstallAgain(*record);
      break;
    default:
      break;
  }
}

void ItemLifecycle::Pause(AppItemInfo& record) {
  SetItemLabel(record.packageName, kStatusPaused);
  record.status = kStatusPaused;
  UpdateDetail(kStatusPaused, {}, record.downloadPos);
  frame_.workers().downloads->stopTask(record.packageName);
  PostUpdate(record);
  ReportEvent(kEventPause, record.packageName);
}

void ItemLifecycle::Resume(AppItemInfo& record) {
  SetItemLabel(record.packageName, kStatusQueued);
  record.status = kStatusQueued;
  UpdateDetail(kStatusQueued, {}, record.downloadPos);
  // A failed task stays registered and starts again; one that never was is registered now.
  if (frame_.workers().downloads->hasTask(record.packageName))
    frame_.workers().downloads->startTask(record.packageName);
  else
    StartDownloads(record, true);
  ReportEvent(kEventDownload, record.packageName);
}

void ItemLifecycle::InstallAgain(AppItemInfo& record) {
  SetItemLabel(record.packageName, kStatusWaitingInstall);
  record.status = kStatusWaitingInstall;
  UpdateDetail(kStatusWaitingInstall, {}, 0);
  ReportEvent(kEventInstallQueued, record.packageName);
  QueueInstall(record);
}

void ItemLifecycle::Launch(const AppItemInfo& record) {
  ReportEvent(kEventLaunch, record.packageName);
  frame_.workers().bridge->LaunchApp(record.packageName, record.launchActivity, record.appName,
                                     record.imagePath);
}

void ItemLifecycle::OnLaunchSelected() {
  LUMO_CHECK_UI_THREAD();
  auto record = AppItemMap::instance().Find(toolkit::ListCurrentUserData(installList_));
  if (record) Launch(*record);
}

void ItemLifecycle::OnLaunchFailed(int, const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  if (auto record = AppItemMap::instance().Find(packageName)) notifier_->Tell(*record, "启动失败");
}

void ItemLifecycle::OnUninstallSelected() {
  LUMO_CHECK_UI_THREAD();
  Delete(toolkit::ListCurrentUserData(installList_));
}

void ItemLifecycle::OnDeleteClicked(GtkWidget* item) {
  LUMO_CHECK_UI_THREAD();
  if (!item) return;
  toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), false);
  Delete(toolkit::ItemUserData(item));
}

void ItemLifecycle::Delete(const std::string& packageName) {
  auto record = AppItemMap::instance().Find(packageName);
  if (!record || record->status == kStatusQueuedForDelete || record->status == kStatusDeleting)
    return;
  // A game added from disk points at the user's own file, which is never deleted.
  if (record->detailUrl.find("?packagename=") == std::string::npos && !record->localPath.empty()) {
    std::string apk = IsFileIn(record->localPath, downloadDir_) ? record->localPath : "";
    std::string icon = IsFileIn(record->imagePath, iconsDir_) ? record->imagePath : "";
    frame_.workers().jobs->Run("file removal", [apk, icon] {
      platform::RemoveFile(apk);
      platform::RemoveFile(icon);
    });
  }
  switch (record->status) {
    case kStatusDownloadFailed:
      frame_.workers().downloads->removeTask(packageName);
      OnUninstallDone(packageName);
      return;
    case kStatusInstallFailed:
      OnUninstallDone(packageName);
      return;
    case kStatusQueued:
    case kStatusDownloading:
    case kStatusPaused:
      // The download goes with the game instead of finishing into an install.
      frame_.workers().downloads->stopTask(packageName);
      frame_.workers().downloads->removeTask(packageName);
      break;
    default:
      break;
  }
  SetItemLabel(packageName, kStatusQueuedForDelete);
  if (IsSelected(packageName)) UpdateDetail(kStatusQueuedForDelete, {}, 0);
  record->status = kStatusQueuedForDelete;
  ReportEvent(kEventDelete, packageName);
  frame_.workers().vmTasks->AddTask(std::make_shared<ApkUninstallTask>(packageName));
}

}  // namespace lumo
