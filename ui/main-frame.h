#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/workers.h"
#include "catalogue/app-item-info.h"
#include "toolkit/skin-window.h"
#include "ui/quiet-trim.h"

namespace lumo {

namespace toolkit {
class Browser;
}
class AndroidStatus;
class CloudPlayWnd;
class ItemLifecycle;
class PlayerSetup;
class PlayerSetupStatus;
class TrayIcon;
struct Navigation;

// The main window: the store browser, the My games list with its detail panel (whose games
// the item lifecycle runs), the floating add buttons, and the hub every worker reports to
// through the Dispatcher. UI thread only.
class MainFrame : public toolkit::SkinWindow {
 public:
  static constexpr int kWidth = 1260;
  static constexpr int kHeight = 720;
  // Below this the detail panel's title collapses and the floating add button covers the
  // empty list's hint and the first games of the list.
  static constexpr int kMinWidth = 900;
  static constexpr int kMinHeight = 640;

  explicit MainFrame(Workers workers);
  ~MainFrame() override;

  // Creates the window (class "MainFrame", skin "MainFrame.xml"); initialisation runs inside.
  bool Create(std::string* error);
  void CenterAndShow();
  void BringToFront();
  void ShowMainTab();
  void ShowMyGamesTab();
  // Starts the updater with these arguments beside the executable; nothing waits for it.
  void CheckUpdate(const std::string& arguments);
  void ConfirmUpdate();
  void AddLocalApks();
  // Adds these APK files as AddLocalApks adds picked ones; paths that are not APK files are
  // left out.
  void OpenApks(const std::vector<std::string>& paths);
  // Ends the program without asking, as the updater's MSG_QUIT_NOW does; the log names the
  // cause.
  void QuitNow(const char* cause);
  // Runs `work` with the detail browser, which exists once the store page shows: at once when
  // it does, else then.
  void WhenDetailBrowser(std::function<void(toolkit::Browser&)> work);
  // The detail browser, or null before it is made.
  toolkit::Browser* detailBrowser() const { return browseDetail_; }

  bool initialised() const { return initialised_; }
  ItemLifecycle* lifecycle() const { return lifecycle_.get(); }
  PlayerSetup& playerSetup() const { return *playerSetup_; }
  const Workers& workers() const { return workers_; }

 protected:
  std::string GetWindowClassName() const override;
  std::string GetSkinFile() const override { return "MainFrame.xml"; }
  void InitWindow() override;
  void Notify(const toolkit::Notification& n) override;
  void OnClick(const toolkit::Notification& n) override;
  bool HandleCustomMessage(std::uint32_t msg, platform::WParam w, platform::LParam l) override;
  bool OnClose() override;
  void CloseFrom(const char* cause);
  void OnDestroy() override;
  void OnSize(toolkit::SizeType type, int width, int height) override;
  bool OnEscape() override { return false; }
  GType CreateControl(const std::string& className) override;

 private:
  void TrustStorePages();
  void FindControls();
  void RegisterHandlers();
  void UnregisterHandlers();
  void RegisterTestCommands();
  std::string TestSetState(const std::vector<std::string>& args);
  std::string TestProgress(const std::vector<std::string>& args);
  std::string TestGame(const std::vector<std::string>& args);
  std::string TestDelete(const std::vector<std::string>& args);
  std::string TestFloating(const std::vector<std::string>& args);
  void OnListMenu(const toolkit::Notification& n);
  void OnTrashChanged();
  void OnAddChanged();
  void HideAddButtons();

  // Message handlers, with the values of their messages (app/messages.h).
  void OnNavigate(const Navigation& to);
  void OnCloudPlay(const std::string& url);
  void OnCatalogueSetAside(const std::string& keptAs);
  void OnPlayerSetupDone();
  void OnFirstFrame();
  void LoadBrowsers();
  toolkit::Browser* MakeDetailBrowser();

  toolkit::Browser* browseMain_ = nullptr;
  toolkit::Browser* browseDetail_ = nullptr;
  GtkNotebook* tab_ = nullptr;
  GtkNotebook* tabDetail_ = nullptr;
  GtkNotebook* tabAppList_ = nullptr;
  GtkToggleButton* checkboxAdd_ = nullptr;
  GtkButton* btnAddFind_ = nullptr;
  GtkButton* btnAddLocal_ = nullptr;
  GtkToggleButton* checkboxTrash_ = nullptr;
  Workers workers_;
  // Before the lifecycle, whose requests reach it, so it goes after it.
  std::shared_ptr<PlayerSetup> playerSetup_;
  std::unique_ptr<PlayerSetupStatus> setupStatus_;
  std::unique_ptr<ItemLifecycle> lifecycle_;
  std::unique_ptr<AndroidStatus> android_;
  bool initialised_ = false;
  bool forceQuit_ = false;
  // Who asked the window to close, for the log; a close nobody in Lumo asked for comes from
  // the window manager.
  const char* closeCause_ = kWindowManagerClose;
  static constexpr const char* kWindowManagerClose = "the window manager";
  // Set when the user chose to quit: a running updater is told once the window is gone.
  bool notifyUpdater_ = false;
  std::unique_ptr<TrayIcon> tray_;
  QuietTrim quietTrim_;
  // Closed but not yet deleted between its destroy and MSG_CLOUDPLAY_CLOSED.
  std::unique_ptr<CloudPlayWnd> cloudPlayWnd_;
  std::string homeUrl_;
  std::string searchUrl_;
  std::vector<std::uint32_t> registered_;
};

}  // namespace lumo
