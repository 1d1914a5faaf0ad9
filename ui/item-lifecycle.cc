#include "ui/item-lifecycle.h"

#include "app/dispatcher.h"
#include "app/messages.h"
#include "app/settings.h"
#include "catalogue/download-request.h"
#include "download/download-task-mgr.h"
#include "toolkit/controls.h"
#include "ui/hard-fail-wnd.h"
#include "ui/main-frame.h"
#include "ui/notifier.h"
#include "ui/progress-ui-ex.h"
#include "ui/progress-widget.h"
#include "vm/player-runtime.h"

namespace lumo {

namespace {

std::string Text(WParam value) {
  const char* text = reinterpret_cast<const char*>(value);
  return text ? text : "";
}

}  // namespace

ItemLifecycle::ItemLifecycle(MainFrame& frame)
    : frame_(frame),
      actions_(frame.workers(), Settings::instance().downloadDir),
      game_(actions_, *this, {Settings::instance().downloadDir, Settings::instance().iconsDir}) {
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

void ItemLifecycle::Register(platform::WindowHandle window) {
  LUMO_CHECK_UI_THREAD();
  window_ = window;
  auto on = [this](std::uint32_t id, DispatchHandler handler) {
    Dispatcher::instance()->Register(id, window_, std::move(handler));
    registered_.push_back(id);
  };
  // Parameters as the senders fill them; text arrives as UTF-8 valid for the send only.
  on(MSG_APP_LOADED,
     [this](WParam w, LParam) { game_.OnAppLoaded(Dispatcher::TakeOwned<AppItemInfo>(w)); });
  on(MSG_LOCAL_APK_READY,
     [this](WParam w, LParam) { OnLocalApkReady(Dispatcher::TakeOwned<LocalApk>(w)); });
  on(MSG_APK_INSPECTED,
     [this](WParam w, LParam) { game_.OnApkInspected(Dispatcher::TakeOwned<ApkInspection>(w)); });
  on(MSG_DOWNLOAD_CLICKED, [this](WParam w, LParam) { OnDownloadClicked(Text(w)); });
  on(MSG_DOWNLOAD_PROGRESS, [this](WParam w, LParam l) {
    const auto* info = reinterpret_cast<const DownloadProgressInfo*>(l);
    if (!info) return;
    std::string speed(info->speedText, strnlen(info->speedText, sizeof info->speedText));
    game_.OnDownloadProgress(Text(w), info->percent, speed);
  });
  on(MSG_DOWNLOAD_DONE, [this](WParam w, LParam l) { game_.OnDownloadDone(Text(w), Text(l)); });
  on(MSG_DOWNLOAD_FAILED,
     [this](WParam w, LParam l) { game_.OnDownloadFailed(Text(w), static_cast<int>(l)); });
  on(MSG_ICON_READY, [this](WParam w, LParam l) { game_.OnIconReady(Text(w), Text(l)); });
  on(MSG_INSTALL_START,
     [this](WParam w, LParam l) { game_.OnInstallStart(Text(w), static_cast<int>(l)); });
  on(MSG_INSTALL_DONE,
     [this](WParam w, LParam l) { game_.OnInstallDone(static_cast<int>(w), Text(l)); });
  on(MSG_UNINSTALL_START, [this](WParam w, LParam) { game_.OnUninstallStart(Text(w)); });
  on(MSG_UNINSTALL_DONE, [this](WParam, LParam l) { game_.OnUninstallDone(Text(l)); });
  on(MSG_LAUNCH_SELECTED, [this](WParam, LParam) { OnLaunchSelected(); });
  on(MSG_UNINSTALL_SELECTED, [this](WParam, LParam) { OnUninstallSelected(); });
  on(MSG_LAUNCH_FAILED,
     [this](WParam w, LParam l) { game_.OnLaunchFailed(static_cast<int>(w), Text(l)); });
  on(MSG_PLAYER_PACKAGES, [this](WParam w, LParam) {
    game_.OnPlayerPackages(Dispatcher::TakeOwned<PlayerPackages>(w));
  });
  on(MSG_DOWNLOAD_CHECKS_LOADED, [this](WParam w, LParam) {
    if (auto loaded = Dispatcher::TakeOwned<DownloadChecks>(w)) game_.OnChecksLoaded(*loaded);
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
  if (game_.RequestDownload(json)) frame_.ShowMyGamesTab();
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
  game_.Launch(toolkit::ListCurrentUserData(installList_));
}

void ItemLifecycle::OnUninstallSelected() {
  LUMO_CHECK_UI_THREAD();
  game_.Delete(toolkit::ListCurrentUserData(installList_));
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

}  // namespace lumo
