#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "apk/apk-badging.h"
#include "catalogue/app-item-info.h"
#include "catalogue/download-checks.h"
#include "platform/ui-loop.h"
#include "platform/window.h"
#include "ui/local-apk-reader.h"
#include "vm/player-packages.h"

namespace lumo {

namespace toolkit {
class Browser;
}
class CProgressUIEx;
class MainFrame;
class Notifier;

// What inspecting a finished download found, handed back from the inspecting worker.
struct ApkInspection {
  std::string packageName;  // the record's key, as the download was named
  ApkBadging badging;       // apkPath is the downloaded file
  DownloadCheck check;      // what the store said the file is
  std::string failure;      // why the file was refused; empty when it passed its check
};

// The life of every game item in the main window: the "My games" list, the detail panel of
// the selected game, and each change of a record's status, from a download request (or an
// APK added from disk, or a record loaded at start) to launch and delete. Events from
// workers arrive through the Dispatcher, clicks from the main window. UI thread only.
class ItemLifecycle {
 public:
  explicit ItemLifecycle(MainFrame& frame);
  ~ItemLifecycle();
  ItemLifecycle(const ItemLifecycle&) = delete;
  ItemLifecycle& operator=(const ItemLifecycle&) = delete;

  // Registers the handlers of every game event for the main window; Unregister undoes it.
  void Register(platform::WindowHandle window);
  void Unregister();

  // Clicks and notifications the main window passes on.
  void OnProgressClicked();
  void OnDeleteClicked(GtkWidget* item);
  void OnItemSelected();
  void OnDeleteModeChanged();
  // The player was installed: status 4 reads differently now.
  void RefreshWaitingItems();

  const std::string& selectedPackage() const {
    LUMO_CHECK_UI_THREAD();
    return selectedPackage_;
  }
  int SelectedStatus() const;

  // The screen side, also used by the test hook.
  void SetItemLabel(const std::string& packageName, int status);
  void UpdateDetail(int status, const std::string& text, int value);
  CProgressUIEx* progress() const {
    LUMO_CHECK_UI_THREAD();
    return progress_;
  }
  GtkWidget* ItemOf(const std::string& packageName) const;

  // Event handlers, in the order a game meets them.
  void OnDownloadClicked(const std::string& json);
  void OnAppLoaded(std::unique_ptr<AppItemInfo> owned);
  void OnLocalApkReady(std::unique_ptr<LocalApk> local);
  void OnDownloadProgress(const std::string& packageName, float fraction, const std::string& speed);
  void OnDownloadDone(const std::string& packageName, const std::string& path);
  void OnApkInspected(std::unique_ptr<ApkInspection> inspection);
  void OnDownloadFailed(const std::string& packageName, int code);
  void OnIconReady(const std::string& packageName, const std::string& path);
  void OnInstallStart(const std::string& packageName, int seconds);
  void OnInstallDone(int result, const std::string& packageName);
  void OnUninstallStart(const std::string& packageName);
  void OnUninstallDone(const std::string& packageName);
  void OnLaunchSelected();
  void OnLaunchFailed(int code, const std::string& packageName);
  // Shows the game in the list and the detail panel, as a click on its item would.
  void SelectGame(const std::string& packageName);
  void OnUninstallSelected();
  // The VM has started and the player listed what it has installed (item-states.cc).
  void OnPlayerPackages(std::unique_ptr<PlayerPackages> installed);

 private:
  // The player's reason replaces the plain text of a failed install in the detail panel.
  void ShowFailureReason(const AppItemInfo& record);
  // Sets a settled record right by what the player last said it has installed.
  void CheckAgainstPlayer(AppItemInfo& record);
  // Screen routines (item-screen.cc).
  // Loaded games are shown from an idle job in slices of bounded time, so the window keeps
  // answering: newest first, each below the ones shown before it, so no shown row moves.
  void OrderList();
  void QueueLoadedItem(const std::string& packageName);
  void ShowLoadedSlice();
  void FinishLoading();
  bool ShowItem(const std::shared_ptr<AppItemInfo>& record);
  bool AddItem(const AppItemInfo& record, int rank);
  void SelectNewItem(const AppItemInfo& record);
  void ShowDetailOf(const AppItemInfo& record);
  void SetItemIcon(const std::string& packageName, const std::string& path);
  void RemoveItem(const std::string& packageName);

  // Lifecycle steps (item-lifecycle.cc).
  void StartDownloads(const AppItemInfo& record, bool startNow);
  // `reason` replaces the detail panel's plain failure text.
  void FailDownload(AppItemInfo& record, const std::string& reason = {});
  AppDatabaseTaskLoop& catalogue();
  // Posts a copy of `record` to the catalogue.
  void PostUpdate(const AppItemInfo& record);
  void KeepCheck(const std::string& packageName, const DownloadCheck& check);
  // Why the announced size of the game's APK cannot fit in the download folder; empty when
  // it can or nothing was announced.
  std::string LackOfSpace(const std::string& packageName) const;
  void QueueInstall(const AppItemInfo& record);
  void Delete(const std::string& packageName);
  void Launch(const AppItemInfo& record);
  void Pause(AppItemInfo& record);
  void Resume(AppItemInfo& record);
  void InstallAgain(AppItemInfo& record);
  bool IsSelected(const std::string& packageName) const { return packageName == selectedPackage_; }

  MainFrame& frame_;
  GtkListBox* installList_ = nullptr;
  GtkNotebook* tabAppList_ = nullptr;
  GtkNotebook* tabDetail_ = nullptr;
  GtkToggleButton* checkboxTrash_ = nullptr;
  GtkLabel* detailSpeed_ = nullptr;
  CProgressUIEx* progress_ = nullptr;
  toolkit::Browser* browseDetail_ = nullptr;
  // Element map: package name to list item.
  std::map<std::string, GtkWidget*> elements_;
  std::string selectedPackage_;
  // The pending navigation of the detail browser; 0 when none.
  unsigned detailTimer_ = 0;
  // Loaded games not shown yet with their ranks, oldest first; the idle job that shows them;
  // the newest of them, selected once they are shown. Items are ranked by arrival, the
  // highest on top.
  std::vector<std::pair<std::string, int>> unshown_;
  unsigned loadingIdle_ = 0;
  std::string newestLoaded_;
  int lastRank_ = 0;
  std::string downloadDir_;
  std::string iconsDir_;
  DownloadChecks checks_;
  // Why the install of a game in status 7 failed, by package name; this session only.
  std::map<std::string, std::string> failureReasons_;
  // The ABIs of each inspected APK's native code, checked before every install is queued.
  std::map<std::string, std::vector<std::string>> nativeCode_;
  std::unique_ptr<PlayerPackages> playerPackages_;
  // Monotonic milliseconds of the last launch from the detail panel.
  std::int64_t lastLaunchMs_ = 0;
  platform::WindowHandle window_ = 0;
  std::unique_ptr<Notifier> notifier_;
  std::vector<std::uint32_t> registered_;
};

}  // namespace lumo
