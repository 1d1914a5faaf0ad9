#include "ui/main-frame.h"

#include <algorithm>

#include <gtk/gtk.h>

#include "app/dispatcher.h"
#include "app/front-end.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/web-address.h"
#include "app/worker-pool.h"
#include "catalogue/app-database-task-loop.h"
#include "catalogue/catalogue-repair.h"
#include "catalogue/download-checks.h"
#include "catalogue/failure-reasons.h"
#include "download/download-task-mgr.h"
#include "game/local-apk-reader.h"
#include "platform/file-system.h"
#include "platform/process.h"
#include "platform/ui-loop.h"
#include "stat/data-stat.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/next-frame.h"
#include "toolkit/test-hook.h"
#include "toolkit/toolkit.h"
#include "ui/about-wnd.h"
#include "ui/android-status.h"
#include "ui/app-list-menu-wnd.h"
#include "ui/catalogue-notice.h"
#include "ui/cloud-play-wnd.h"
#include "ui/desktop-intake.h"
#include "ui/hard-fail-wnd.h"
#include "ui/item-lifecycle.h"
#include "ui/player-setup-status.h"
#include "ui/progress-widget.h"
#include "ui/quit-confirm-wnd.h"
#include "ui/setting-menu-wnd.h"
#include "ui/setting-wnd.h"
#include "ui/tray-icon.h"
#include "ui/web-event-handler.h"
#include "vm/player-setup.h"
#include "vm/vm-bridge-client.h"

namespace lumo {

namespace {

// Usage events of the main window's buttons and tabs.
enum : int {
  kEventStoreTab = 300,
  kEventMyGamesTab = 301,
  kEventSettings = 302,
  kEventClose = 307,
  kEventAddToggled = 308,
  kEventAddLocal = 309,
  kEventAddFind = 310,
  kEventRightFind = 311,
};

constexpr int kFloatSize = 96;

}  // namespace

MainFrame::MainFrame(Workers workers) : workers_(std::move(workers)) {}

MainFrame::~MainFrame() {
  if (window()) UnregisterHandlers();
  lifecycle_.reset();
  setupStatus_.reset();
  cloudPlayWnd_.reset();
}

std::string MainFrame::GetWindowClassName() const {
  return kMainWindowClass;
}

bool MainFrame::Create(std::string* error) {
  toolkit::WindowStyle style;
  style.minWidth = kMinWidth;
  style.minHeight = kMinHeight;
  if (toolkit::SkinWindow::Create(nullptr, kMainWindowClass, style, kWidth, kHeight)) return true;
  *error = "the main window could not be built from MainFrame.xml";
  return false;
}

GType MainFrame::CreateControl(const std::string& className) {
  return g_ascii_strcasecmp(className.c_str(), CProgressUIEx::kClassName) == 0
             ? ProgressWidgetType()
             : 0;
}

void MainFrame::InitWindow() {
  homeUrl_ = CfgHomeUrl();
  searchUrl_ = CfgSearchUrl();
  TrustStorePages();
  browseMain_ = FindBrowser("BrowseMain");
  if (browseMain_) {
    // A store page is where downloads are asked for: the engine readies itself for one.
    browseMain_->SetEventHandler(std::make_unique<WebEventHandler>(
        "Main", 0, [downloads = workers().downloads] { downloads->prepare(); }));
    browseMain_->SetHomePage(homeUrl_);
  }
  FindControls();
  playerSetup_ = PlayerSetup::Create(workers_.jobs, workers_.downloads);
  setupStatus_ =
      std::make_unique<PlayerSetupStatus>(FindControl("playerSetup"), FindLabel("playerSetupState"),
                                          FindControl("btnPlayerRetry"), *playerSetup_);
  lifecycle_ = std::make_unique<ItemLifecycle>(*this);
  android_ = std::make_unique<AndroidStatus>(FindLabel("androidState"), workers_.bridge);
  RegisterHandlers();
  AcceptDesktopApks(window(), handle(), [this](const auto& paths) { OpenApks(paths); });
  if (toolkit::CurrentTab(tabDetail_) != 1) {
    toolkit::SelectTab(tabAppList_, 1);
    toolkit::SelectTab(tabDetail_, 1);
  }
  // Only the store shows at start: My Games is laid out after the window's first frame.
  toolkit::DeferOtherTabs(tab_);
  SetTitle(kMainWindowTitle);
  AttachShadow();
  SetIcon("img/logo.png");
  // The stored games come back one by one as MSG_APP_LOADED.
  workers_.catalogue->post(std::make_shared<LoadDownloadChecksTask>());
  workers_.catalogue->post(std::make_shared<LoadFailuresTask>());
  workers_.catalogue->post(std::make_shared<SelectAllAppTask>());
  toolkit::AfterNextFrame(GTK_WIDGET(window()), [this] { OnFirstFrame(); });
  workers_.catalogue->post(std::make_shared<ReportSetAsideCatalogueTask>());
  RegisterTestCommands();
  initialised_ = true;
}

// Store pages are the only ones that may use window.external, and only web addresses, the
// blank page and the local error page may load in any browser.
void MainFrame::TrustStorePages() {
  std::vector<std::string> origins;
  for (const std::string& url : {homeUrl_, searchUrl_}) {
    std::string origin = WebOrigin(url);
    if (origin.empty())
      Log::instance()->write("store address %s is not a web address; its pages get no bridge.",
                             url.c_str());
    else if (std::find(origins.begin(), origins.end(), origin) == origins.end())
      origins.push_back(origin);
  }
  toolkit::Browser::SetTrustedPages(origins, ErrorPageUrl(), PathJoin(ExeDir(), "web-extensions"));
}

void MainFrame::FindControls() {
  tab_ = FindTabLayout("tab");
  tabAppList_ = FindTabLayout("TabAppList");
  tabDetail_ = FindTabLayout("TabDetail");
  checkboxAdd_ = FindCheckBox("checkbox_add");
  btnAddFind_ = FindButton("btn_add_find");
  btnAddLocal_ = FindButton("btn_add_local");
  checkboxTrash_ = FindCheckBox("checkbox_trash");
}

void MainFrame::RegisterHandlers() {
  auto onPost = [this](std::uint32_t id, PostHandler handler) {
    Dispatcher::instance()->Register(id, handle(), std::move(handler));
    registered_.push_back(id);
  };
  auto on = [this]<typename P>(const Message<P>& message, void (MainFrame::*fn)(const P&)) {
    Dispatcher::instance()->Register(message, handle(),
                                     [this, fn](const P& value) { (this->*fn)(value); });
    registered_.push_back(message.id);
  };
  lifecycle_->Register(handle());
  android_->Register(handle());
  onPost(MSG_SHOW_SETTINGS, [this] { SettingWnd::Run(this, android_.get()); });
  onPost(MSG_SHOW_ABOUT, [this] { AboutWnd::Run(this); });
  onPost(MSG_CHECK_UPDATE, [this] { CheckUpdate(""); });
  onPost(MSG_SHOW_MAIN, [this] { BringToFront(); });
  onPost(MSG_PLAYER_SETUP_DONE, [this] { OnPlayerSetupDone(); });
  onPost(MSG_QUIT_NOW, [this] { QuitNow("the updater's quit message"); });
  on(MSG_CLOUD_PLAY, &MainFrame::OnCloudPlay);
  on(MSG_CATALOGUE_SET_ASIDE, &MainFrame::OnCatalogueSetAside);
  on(MSG_NAVIGATE, &MainFrame::OnNavigate);
}

void MainFrame::UnregisterHandlers() {
  if (lifecycle_) lifecycle_->Unregister();
  if (android_) android_->Unregister(handle());
  for (std::uint32_t id : registered_) Dispatcher::instance()->Unregister(id, handle());
  registered_.clear();
}

// A program folder that an update just put in place carries this mark until its Lumo has
// shown its window; without the mark the updater keeps the folder whatever happens next.
void MainFrame::ConfirmUpdate() {
  std::string mark = PathJoin(ExeDir(), ".renew-unconfirmed");
  if (platform::PathExists(mark) && platform::RemoveFile(mark))
    Log::instance()->write("update confirmed: this program has shown its window.");
}

// The window is on the screen before the player is looked for and the updater started, and
// those two wait for the store page (or the browser's wait for it): their processes would
// compete with the page's for the processor.
void MainFrame::OnFirstFrame() {
  ConfirmUpdate();
  auto afterPage = [this] {
    // Starts the player, or installs or downloads it when it is missing.
    playerSetup_->Ensure();
    CheckUpdate("-silence");
    // The download engine is loaded now, away from the UI thread, rather than on the first
    // click of a game, which would wait for it.
    workers().jobs->Run("download engine",
                        [downloads = workers().downloads] { downloads->available(); });
    quietTrim_.AfterWork();
  };
  if (browseMain_)
    browseMain_->AfterFirstPage(afterPage);
  else
    afterPage();
  // The notification area's icon loads its own libraries and talks to its host over D-Bus,
  // which the window need not wait for.
  tray_ = std::make_unique<TrayIcon>(
      TrayIcon::Commands{[this] { BringToFront(); }, [this] { CloseFrom("the tray menu"); }},
      workers().jobs);
  tray_->Add(toolkit::ImagePath("img/logo.png"));
}

void MainFrame::OnPlayerSetupDone() {
  playerSetup_->OnSetupEnded();
  lifecycle_->RefreshWaitingItems();
  quietTrim_.AfterWork();
}

bool MainFrame::HandleCustomMessage(std::uint32_t msg, platform::WParam, platform::LParam) {
  if (Dispatcher::instance()->Dispatch(handle(), msg)) return true;
  if (msg == MSG_CLOUDPLAY_CLOSED) {
    // A cloud window opened since then stays.
    if (cloudPlayWnd_ && !cloudPlayWnd_->window()) cloudPlayWnd_.reset();
    return true;
  }
  return false;
}

void MainFrame::OnClick(const toolkit::Notification& n) {
  const std::string& name = n.sender;
  if (name == "btnClose") {
    ReportEvent(kEventClose);
    CloseFrom("the close button");
  } else if (name == "btnMax") {
    Maximize();
    toolkit::SetVisible(FindControl("btnMax"), false);
    toolkit::SetVisible(FindControl("btnRestore"), true);
  } else if (name == "btnRestore") {
    Restore();
    toolkit::SetVisible(FindControl("btnMax"), true);
    toolkit::SetVisible(FindControl("btnRestore"), false);
  } else if (name == "btnMin") {
    Minimize();
  } else if (name == "btnAndroid") {
    SettingWnd::Run(this, android_.get());
  } else if (name == "btnPlayerRetry") {
    playerSetup_->Retry();
  } else if (name == "btnSetting") {
    ReportEvent(kEventSettings);
    SettingMenuWnd::OpenBelow(FindControl("btnSetting"));
  } else if (name == "btn_right_find") {
    ReportEvent(kEventRightFind);
    ShowMainTab();
  } else if (name == "btn_add_find") {
    ReportEvent(kEventAddFind);
    HideAddButtons();
    ShowMainTab();
  } else if (name == "btn_add_local") {
    ReportEvent(kEventAddLocal);
    HideAddButtons();
    AddLocalApks();
  } else if (name == "DownloadProgress") {
    lifecycle_->OnProgressClicked();
  } else if (name == "btn_delete_applist") {
    lifecycle_->OnDeleteClicked(n.item);
  }
}

void MainFrame::HideAddButtons() {
  toolkit::SetVisible(GTK_WIDGET(btnAddFind_), false);
  toolkit::SetVisible(GTK_WIDGET(btnAddLocal_), false);
  toolkit::SetChecked(checkboxAdd_, false, false);
}

void MainFrame::Notify(const toolkit::Notification& n) {
  if (n.type == "selectchanged" && n.sender == "optionMain") {
    ReportEvent(kEventStoreTab);
    toolkit::SelectTab(tab_, 0);
  } else if (n.type == "selectchanged" && n.sender == "optionMyGame") {
    ReportEvent(kEventMyGamesTab);
    toolkit::SelectTab(tab_, 1);
  } else if (n.type == "selectchanged" && n.sender == "checkbox_add") {
    OnAddChanged();
    SkinWindow::Notify(n);
  } else if (n.type == "selectchanged" && n.sender == "checkbox_trash") {
    OnTrashChanged();
    SkinWindow::Notify(n);
  } else if (n.type == "itemselect" && n.sender == "InstallList") {
    lifecycle_->OnItemSelected();
    SkinWindow::Notify(n);
  } else if (n.type == "menu" && n.sender == "InstallList") {
    OnListMenu(n);
  } else {
    SkinWindow::Notify(n);
  }
}

void MainFrame::OnAddChanged() {
  bool show = toolkit::IsChecked(checkboxAdd_);
  toolkit::SetVisible(GTK_WIDGET(btnAddFind_), show);
  toolkit::SetVisible(GTK_WIDGET(btnAddLocal_), show);
  ReportEvent(kEventAddToggled);
}

void MainFrame::OnTrashChanged() {
  bool deleting = toolkit::IsChecked(checkboxTrash_);
  toolkit::SetText(GTK_WIDGET(checkboxTrash_), deleting ? "取消" : "删除");
  lifecycle_->OnDeleteModeChanged();
}

void MainFrame::OnListMenu(const toolkit::Notification& n) {
  int status = lifecycle_->SelectedStatus();
  if (status < 0) return;
  AppListMenuWnd::Open(static_cast<int>(n.x), static_cast<int>(n.y), status);
}

void MainFrame::OnSize(toolkit::SizeType type, int, int height) {
  if (!initialised_) return;
  if (type == toolkit::SizeType::kMaximized) {
    toolkit::SetVisible(FindControl("btnMax"), false);
    toolkit::SetVisible(FindControl("btnRestore"), true);
  } else if (type == toolkit::SizeType::kRestored) {
    toolkit::SetVisible(FindControl("btnMax"), true);
    toolkit::SetVisible(FindControl("btnRestore"), false);
  }
  // The floating add buttons keep to the bottom-left corner.
  int h = height;
  toolkit::SetPos(GTK_WIDGET(checkboxAdd_), 30, h - 174, 30 + kFloatSize, h - 78);
  toolkit::SetPos(GTK_WIDGET(btnAddFind_), 30, h - 270, 30 + kFloatSize, h - 174);
  toolkit::SetPos(GTK_WIDGET(btnAddLocal_), 126, h - 222, 126 + kFloatSize, h - 126);
  // Their shadows reach past their own area, so the old place is repainted as a whole.
  gtk_widget_queue_draw(GTK_WIDGET(window()));
}

void MainFrame::ShowMainTab() {
  toolkit::SelectTab(tab_, 0);
  toolkit::SetChecked(FindOption("optionMain"), true, false);
}

void MainFrame::ShowMyGamesTab() {
  toolkit::SelectTab(tab_, 1);
  toolkit::SetChecked(FindOption("optionMyGame"), true, false);
}

void MainFrame::CenterAndShow() {
  CenterWindow();
  ShowWindow(true);
  LoadBrowsers();
}

// Once the window's map request is out: the first load starts the web process, which would
// compete with the window for the processor.
void MainFrame::LoadBrowsers() {
  gdk_display_flush(gtk_widget_get_display(GTK_WIDGET(window())));
  if (!browseMain_) return;
  browseMain_->Navigate("about:blank");
  browseMain_->Navigate(homeUrl_);
}

// The detail browser shares the store view's web process: a second process would start on
// the first game shown, while its download runs, and would be pinged while Lumo is idle. A
// view related to another starts that one's process at once, so it is made only once the
// store page shows: made with the skin, it started the process before the window was mapped.
// It is made for the first game to show: WebKit keeps a window-sized image of a view even on a
// tab that is not shown, 1.4 MiB of shared memory held for nothing while no game is selected.
void MainFrame::WhenDetailBrowser(std::function<void(toolkit::Browser&)> work) {
  auto run = [this, work = std::move(work)] {
    if (toolkit::Browser* detail = MakeDetailBrowser()) work(*detail);
  };
  if (browseMain_ && !browseMain_->firstPageLoaded())
    browseMain_->AfterFirstPage(std::move(run));
  else
    run();
}

toolkit::Browser* MainFrame::MakeDetailBrowser() {
  if (browseDetail_) return browseDetail_;
  GtkWidget* host = FindControl("BrowseDetailHost");
  if (!host) return nullptr;
  browseDetail_ = toolkit::Browser::CreateIn(host, browseMain_);
  browseDetail_->SetEventHandler(std::make_unique<WebEventHandler>("Detail"));
  return browseDetail_;
}

void MainFrame::BringToFront() {
  if (!window()) return;
  gtk_widget_show(GTK_WIDGET(window()));
  gtk_window_deiconify(window());
  gtk_window_present_with_time(window(), GDK_CURRENT_TIME);
  Log::instance()->write("main window brought to front.");
}

void MainFrame::CheckUpdate(const std::string& arguments) {
  std::string program = PathJoin(ExeDir(), ConfigUpgrade());
  // Spawning costs tens of milliseconds even when there is nothing to run.
  if (!platform::PathExists(program)) {
    Log::instance()->write("updater %s is not there; nothing started.", program.c_str());
    return;
  }
  std::vector<std::string> argv{program};
  if (!arguments.empty()) argv.push_back(arguments);
  // Nothing waits for the updater and its fate is not examined; the silent check at start is
  // background work, the one the user asked for is not.
  bool silent = arguments == "-silence";
  if (platform::SpawnDetached(argv, silent ? platform::SpawnPriority::kBackground
                                           : platform::SpawnPriority::kNormal) > 0)
    Log::instance()->write("updater %s started with \"%s\".", program.c_str(), arguments.c_str());
}

void MainFrame::AddLocalApks() {
  if (!HardwareCheck(this)) return;
  std::vector<std::string> paths = PickApkFiles(this);
  std::string searchUrl = searchUrl_;
  // The reading happens off the UI thread; each file comes back as MSG_LOCAL_APK_READY.
  workers_.jobs->Run("add-from-disk reader",
                     [paths, searchUrl] { ReadLocalApks(paths, searchUrl); });
}

void MainFrame::OpenApks(const std::vector<std::string>& paths) {
  std::vector<std::string> apks = ExistingApkFiles(paths);
  if (apks.empty() || !HardwareCheck(this)) return;
  ShowMyGamesTab();
  std::string searchUrl = searchUrl_;
  workers_.jobs->Run("add-from-disk reader", [apks, searchUrl] { ReadLocalApks(apks, searchUrl); });
}

void MainFrame::OnNavigate(const Navigation& to) {
  if (to.browserName == "Main" && browseMain_)
    browseMain_->Navigate(to.url);
  else if (to.browserName == "Detail")
    WhenDetailBrowser([url = to.url](toolkit::Browser& detail) { detail.Navigate(url); });
}

void MainFrame::OnCatalogueSetAside(const std::string& keptAs) {
  ShowCatalogueNotice(*this, keptAs);
}

void MainFrame::OnCloudPlay(const std::string& url) {
  if (!cloudPlayWnd_ || !cloudPlayWnd_->window()) {
    cloudPlayWnd_ = CloudPlayWnd::Create(handle());
    if (!cloudPlayWnd_) return;
  }
  cloudPlayWnd_->NavigateTo(url);
  cloudPlayWnd_->CenterWindow();
  cloudPlayWnd_->CenterOver(window());
  cloudPlayWnd_->ShowWindow(true);
}

void MainFrame::QuitNow(const char* cause) {
  forceQuit_ = true;
  // An open close question is abandoned; the quit does not wait for its answer.
  QuitConfirmWnd::Abandon();
  CloseFrom(cause);
}

void MainFrame::CloseFrom(const char* cause) {
  closeCause_ = cause;
  Close(0);
}

bool MainFrame::OnClose() {
  const char* cause = closeCause_;
  closeCause_ = kWindowManagerClose;
  bool trayShown = tray_ && tray_->HostPresent();
  CloseAction action = DecideClose(this, forceQuit_, trayShown, [this] { BringToFront(); });
  static const char* const kActions[] = {"quit", "hide", "stay"};
  Log::instance()->write("close asked by %s: %s%s.", cause, kActions[static_cast<int>(action)],
                         forceQuit_ ? ", without the question" : "");
  switch (action) {
    case CloseAction::kQuit:
      notifyUpdater_ = !forceQuit_;
      return true;
    case CloseAction::kHide:
      if (tray_) tray_->HideToTray(this);
      return false;
    case CloseAction::kStay:
      break;
  }
  return false;
}

void MainFrame::OnDestroy() {
  // The emulator goes with the window: a connected player is asked to close, else its
  // process is ended.
  workers_.bridge->ClosePlayerOnExit();
  UnregisterHandlers();
  if (tray_) tray_->Remove();
  Log::instance()->write("main window destroyed.");
  platform::QuitUiLoop(0);
  if (notifyUpdater_) NotifyUpdaterOfQuit();
}

}  // namespace lumo
