#include "ui/item-lifecycle.h"

#include <algorithm>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/worker-pool.h"
#include "catalogue/download-request.h"
#include "download/download-task-mgr.h"
#include "game/store-states.h"
#include "toolkit/browser-feed.h"
#include "toolkit/controls.h"
#include "ui/hard-fail-wnd.h"
#include "ui/main-frame.h"
#include "ui/notifier.h"
#include "ui/progress-ui-ex.h"
#include "ui/progress-widget.h"
#include "vm/player-runtime.h"

namespace lumo {

ItemLifecycle::ItemLifecycle(MainFrame& frame)
    : frame_(frame),
      actions_(frame.workers(), frame.playerSetup()),
      game_(actions_, *this, {Settings::instance().iconsDir}),
      icons_(kIconSize, frame.workers().jobs, [this] {
        if (rows_) rows_->Rebind();
      }) {
  LUMO_CHECK_UI_THREAD();
  installList_ = frame.FindList("InstallList");
  tabAppList_ = frame.FindTabLayout("TabAppList");
  tabDetail_ = frame.FindTabLayout("TabDetail");
  checkboxTrash_ = frame.FindCheckBox("checkbox_trash");
  detailSpeed_ = frame.FindLabel("DetailSpeed");
  progress_ = ProgressFromWidget(frame.FindCustom("DownloadProgress", ProgressWidgetType()));
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
  platform::CancelTimer(statesTimer_);
  if (loadingIdle_) g_source_remove(loadingIdle_);
  if (defaultIcon_) g_object_unref(defaultIcon_);
  Unregister();
}

void ItemLifecycle::Register(platform::WindowHandle window) {
  LUMO_CHECK_UI_THREAD();
  window_ = window;
  auto on = [this]<typename P>(const Message<P>& message, Handler<P> handler) {
    Dispatcher::instance()->Register(message, window_, std::move(handler));
    registered_.push_back(message.id);
  };
  auto onPost = [this](std::uint32_t id, PostHandler handler) {
    Dispatcher::instance()->Register(id, window_, std::move(handler));
    registered_.push_back(id);
  };
  // Each handler takes the values its sender gave (app/messages.h); records are moved out.
  on(MSG_APP_LOADED,
     [this](std::unique_ptr<AppItemInfo>& record) { game_.OnAppLoaded(std::move(record)); });
  on(MSG_LOCAL_APK_READY,
     [this](std::unique_ptr<LocalApk>& local) { OnLocalApkReady(std::move(local)); });
  on(MSG_APK_INSPECTED, [this](std::unique_ptr<ApkInspection>& inspection) {
    game_.OnApkInspected(std::move(inspection));
  });
  on(MSG_DOWNLOAD_CLICKED, [this](const std::string& json) { OnDownloadClicked(json); });
  on(MSG_DOWNLOAD_PROGRESS, [this](const DownloadProgress& progress) {
    game_.OnDownloadProgress(progress.key, progress.fraction, progress.speed);
  });
  on(MSG_DOWNLOAD_DONE,
     [this](const FileReady& done) { game_.OnDownloadDone(done.key, done.path); });
  on(MSG_DOWNLOAD_FAILED,
     [this](const DownloadFailed& failed) { game_.OnDownloadFailed(failed.key, failed.code); });
  on(MSG_ICON_READY, [this](const FileReady& icon) { game_.OnIconReady(icon.key, icon.path); });
  on(MSG_INSTALL_START,
     [this](const InstallStart& start) { game_.OnInstallStart(start.packageName, start.seconds); });
  on(MSG_INSTALL_DONE,
     [this](const PlayerResult& done) { game_.OnInstallDone(done.code, done.packageName); });
  on(MSG_UNINSTALL_START,
     [this](const std::string& packageName) { game_.OnUninstallStart(packageName); });
  on(MSG_UNINSTALL_DONE,
     [this](const PlayerResult& done) { game_.OnUninstallDone(done.packageName); });
  onPost(MSG_LAUNCH_SELECTED, [this] { OnLaunchSelected(); });
  onPost(MSG_UNINSTALL_SELECTED, [this] { OnUninstallSelected(); });
  on(MSG_LAUNCH_FAILED,
     [this](const PlayerResult& failed) { game_.OnLaunchFailed(failed.code, failed.packageName); });
  on(MSG_LAUNCH_DONE,
     [this](const LaunchDone& done) { game_.OnLaunchDone(done.packageName, done.deviceModel); });
  on(MSG_PLAYER_PACKAGES, [this](std::unique_ptr<PlayerPackages>& installed) {
    game_.OnPlayerPackages(std::move(installed));
  });
  on(MSG_LOCAL_DETAIL_READY,
     [this](std::unique_ptr<LocalDetail>& detail) { OnLocalDetailReady(std::move(detail)); });
  on(MSG_FAILURES_LOADED, [this](std::unique_ptr<FailureReasons>& loaded) {
    if (loaded) game_.OnFailuresLoaded(*loaded);
  });
  on(MSG_DOWNLOAD_CHECKS_LOADED, [this](std::unique_ptr<DownloadChecks>& loaded) {
    if (loaded) game_.OnChecksLoaded(*loaded);
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
  // A launch keeps the store in view; the games list shows a download.
  if (game_.RequestDownload(json) == GameLifecycle::kTaken) frame_.ShowMyGamesTab();
}

void ItemLifecycle::OnLocalApkReady(std::unique_ptr<LocalApk> local) {
  LUMO_CHECK_UI_THREAD();
  if (local) game_.OnLocalApk(std::move(local->record), std::move(local->nativeCode));
}

void ItemLifecycle::OnProgressClicked() {
  LUMO_CHECK_UI_THREAD();
  if (progress_) game_.PrimaryAction(selectedPackage_);
}

void ItemLifecycle::OnLaunchSelected() {
  LUMO_CHECK_UI_THREAD();
  game_.Launch(selectedPackage_);
}

void ItemLifecycle::OnUninstallSelected() {
  LUMO_CHECK_UI_THREAD();
  game_.Delete(selectedPackage_);
}

void ItemLifecycle::OnDeleteClicked(GtkWidget* item) {
  LUMO_CHECK_UI_THREAD();
  if (!item) return;
  toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), false);
  game_.Delete(toolkit::ItemUserData(item));
}

void ItemLifecycle::Tell(const AppItemInfo& record, const std::string& text) {
  notifier_->Tell(record, text);
}

// A burst of changes (the catalogue's load, a second's progress of several downloads) is told
// once, after it.
void ItemLifecycle::StatesChanged() {
  if (statesTimer_) return;
  // Each telling carries every game, so a burst of changes (the catalogue loading, progress of
  // downloads) is told at most every kStatesIntervalMs, its last change included.
  std::int64_t now = g_get_monotonic_time() / 1000;
  std::int64_t wait = std::max<std::int64_t>(0, statesToldMs_ + kStatesIntervalMs - now);
  statesTimer_ = platform::AddTimer(static_cast<unsigned>(wait), [this] {
    statesTimer_ = 0;
    statesToldMs_ = g_get_monotonic_time() / 1000;
    toolkit::PublishGameStates(StoreStatesJson(game_.records()));
    return false;
  });
}

}  // namespace lumo
