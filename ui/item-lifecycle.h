#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "game/game-lifecycle.h"
#include "game/local-apk-reader.h"
#include "game/local-detail-page.h"
#include "game/worker-actions.h"
#include "platform/ui-loop.h"
#include "platform/window.h"
#include "toolkit/row-window.h"
#include "ui/row-icons.h"

namespace lumo {

namespace toolkit {
class Browser;
}
class CProgressUIEx;
class MainFrame;
class Notifier;

// The game items of the main window: the "My games" list and the detail panel of the selected
// game. It draws what the game lifecycle shows and hands it the events that arrive through
// the Dispatcher and the clicks of the main window; the lifecycle decides every step. UI
// thread only.
class ItemLifecycle final : public GameView {
 public:
  explicit ItemLifecycle(MainFrame& frame);
  ~ItemLifecycle() override;
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
  // Shows the game in the list and the detail panel, as a click on its item would.
  void SelectGame(const std::string& packageName);

  GameLifecycle& game() { return game_; }
  const std::string& selectedPackage() const {
    LUMO_CHECK_UI_THREAD();
    return selectedPackage_;
  }
  int SelectedStatus() const;

  // The screen side, also used by the test hook.
  void SetItemLabel(const std::string& packageName, int status);
  // The note's reason, when it has one, replaces the status's own text.
  void UpdateDetail(int status, const StatusNote& note, int value);
  CProgressUIEx* progress() const {
    LUMO_CHECK_UI_THREAD();
    return progress_;
  }
  GtkWidget* ItemOf(const std::string& packageName) const;

  // Events handed to the lifecycle.
  void OnDownloadClicked(const std::string& json);
  void OnLocalApkReady(std::unique_ptr<LocalApk> local);
  void OnLaunchSelected();
  void OnUninstallSelected();

  // What the lifecycle shows (item-screen.cc).
  bool AddGame(const AppItemInfo& record) override;
  void QueueLoadedGame(const std::string& packageName) override;
  void ShowStatus(const AppItemInfo& record, const StatusNote& note) override;
  void ShowIcon(const std::string& packageName, const std::string& path) override;
  void RemoveGame(const std::string& packageName) override;
  void Tell(const AppItemInfo& record, const std::string& text) override;
  void StatesChanged() override;

 private:
  // The list binds its rows to the games in view (a RowWindow over order_); games loaded in a
  // burst are counted in once, from an idle job, when the burst is in.
  void OrderList();
  GtkWidget* BuildRow();
  void BindRow(GtkWidget* item, std::size_t index);
  const std::string& PackageAt(std::size_t index) const {
    return order_[order_.size() - 1 - index];
  }
  std::size_t IndexOf(const std::string& packageName) const;
  void ShowLoaded();
  void SelectNewItem(const AppItemInfo& record);
  void ShowDetailOf(const AppItemInfo& record);
  // The detail browser's page of the selected game: its store page, or for a game added from
  // disk the page that a job makes from its file (MSG_LOCAL_DETAIL_READY).
  void LoadDetailPage(toolkit::Browser& detail, const AppItemInfo& record);
  void OnLocalDetailReady(std::unique_ptr<LocalDetail> detail);
  bool IsSelected(const std::string& packageName) const { return packageName == selectedPackage_; }

  MainFrame& frame_;
  WorkerActions actions_;
  GameLifecycle game_;
  GtkListBox* installList_ = nullptr;
  GtkNotebook* tabAppList_ = nullptr;
  GtkNotebook* tabDetail_ = nullptr;
  GtkToggleButton* checkboxTrash_ = nullptr;
  GtkLabel* detailSpeed_ = nullptr;
  CProgressUIEx* progress_ = nullptr;
  // The games of the list, oldest first: the list shows them newest on top.
  std::vector<std::string> order_;
  std::unique_ptr<toolkit::RowWindow> rows_;
  // The size a row draws its icon at, square.
  static constexpr int kIconSize = 48;
  // Decoded on the short-job workers; the rows in view are bound again as icons come in.
  RowIcons icons_;
  GdkPixbuf* defaultIcon_ = nullptr;
  std::string selectedPackage_;
  // The pending navigation of the detail browser; 0 when none.
  unsigned detailTimer_ = 0;
  // The pending telling of the games' states to the store's pages; 0 when none.
  unsigned statesTimer_ = 0;
  static constexpr std::int64_t kStatesIntervalMs = 250;
  std::int64_t statesToldMs_ = 0;
  // The idle job that counts loaded games into the list, and the newest of them, selected
  // once they are in.
  unsigned loadingIdle_ = 0;
  std::string newestLoaded_;
  platform::WindowHandle window_ = 0;
  std::unique_ptr<Notifier> notifier_;
  std::vector<std::uint32_t> registered_;
};

}  // namespace lumo
