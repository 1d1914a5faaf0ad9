// The screen side of game items: list items, their labels, the detail panel.

#include <gtk/gtk.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "app/worker-pool.h"
#include "platform/file-system.h"
#include "platform/ui-loop.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/toolkit.h"
#include "ui/item-lifecycle.h"
#include "ui/main-frame.h"
#include "ui/progress-ui-ex.h"

namespace lumo {

namespace {

constexpr int kIconSize = 48;
constexpr int kDetailIconSize = 64;
// The longest a slice of the catalogue load holds the UI thread, in microseconds: input and
// painting wait no longer than this (and one frame).
constexpr gint64 kLoadSliceUs = 8000;

// Items are ranked by arrival; the list keeps the highest on top, however they were inserted.
constexpr char kRank[] = "lumo-rank";

int RankOf(GtkListBoxRow* row) {
  GtkWidget* item = gtk_bin_get_child(GTK_BIN(row));
  return item ? GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kRank)) : 0;
}

int NewestFirst(GtkListBoxRow* a, GtkListBoxRow* b, gpointer) {
  int rankA = RankOf(a), rankB = RankOf(b);
  return rankA > rankB ? -1 : rankA < rankB ? 1 : 0;
}

}  // namespace

void ItemLifecycle::OrderList() {
  if (installList_) gtk_list_box_set_sort_func(installList_, NewestFirst, nullptr, nullptr);
}

GtkWidget* ItemLifecycle::ItemOf(const std::string& packageName) const {
  LUMO_CHECK_UI_THREAD();
  auto it = elements_.find(packageName);
  return it == elements_.end() ? nullptr : it->second;
}

int ItemLifecycle::SelectedStatus() const {
  LUMO_CHECK_UI_THREAD();
  auto record = game_.Find(selectedPackage_);
  return record ? record->status : -1;
}

bool ItemLifecycle::AddGame(const AppItemInfo& record) {
  if (!AddItem(record, ++lastRank_)) return false;
  if (!loadingIdle_) toolkit::SetVisible(GTK_WIDGET(installList_), true);
  // A game added now is newer than any still loading: the selection is its.
  newestLoaded_.clear();
  SelectNewItem(record);
  return true;
}

bool ItemLifecycle::AddItem(const AppItemInfo& record, int rank) {
  GtkWidget* item = frame_.BuildItem("ListItemElement.xml");
  if (!item) return false;
  GtkWidget* image = toolkit::ItemControl(item, "image");
  if (platform::IsRegularFile(record.imagePath))
    toolkit::SetImageFile(image, record.imagePath, kIconSize);
  toolkit::SetText(toolkit::ItemControl(item, "name"), record.appName);
  g_object_set_data(G_OBJECT(item), kRank, GINT_TO_POINTER(rank));
  toolkit::ListInsert(installList_, 0, item, record.packageName);
  toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), false);
  elements_[record.packageName] = item;
  SetItemLabel(record.packageName, record.status);
  return true;
}

// The item just placed on top.
void ItemLifecycle::SelectNewItem(const AppItemInfo& record) {
  selectedPackage_ = record.packageName;
  toolkit::ListSelect(installList_, 0);
  ShowDetailOf(record);
  if (toolkit::CurrentTab(tabDetail_) != 0) {
    toolkit::SelectTab(tabAppList_, 0);
    toolkit::SelectTab(tabDetail_, 0);
  }
}

void ItemLifecycle::QueueLoadedGame(const std::string& packageName) {
  unshown_.emplace_back(packageName, ++lastRank_);
  newestLoaded_ = packageName;
  if (loadingIdle_) return;
  // GTK restyles every row of a shown list in each frame that adds one, so a list that
  // grows over many frames costs time in the square of its length: it fills hidden and is
  // shown once the burst is in.
  toolkit::SetVisible(GTK_WIDGET(installList_), false);
  // Below painting and input, so both go first.
  loadingIdle_ = g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer self) -> gboolean {
        static_cast<ItemLifecycle*>(self)->ShowLoadedSlice();
        return G_SOURCE_CONTINUE;
      },
      this, nullptr);
}

void ItemLifecycle::ShowLoadedSlice() {
  const gint64 end = g_get_monotonic_time() + kLoadSliceUs;
  while (!unshown_.empty() && g_get_monotonic_time() < end) {
    auto [packageName, rank] = std::move(unshown_.back());
    unshown_.pop_back();
    // A game removed meanwhile is not shown.
    auto record = game_.Find(packageName);
    if (record && !ItemOf(packageName)) AddItem(*record, rank);
  }
  if (unshown_.empty()) FinishLoading();
}

// The burst is shown: its newest game is selected, as if each had been on arrival.
void ItemLifecycle::FinishLoading() {
  if (loadingIdle_) g_source_remove(loadingIdle_);
  loadingIdle_ = 0;
  toolkit::SetVisible(GTK_WIDGET(installList_), true);
  if (newestLoaded_.empty()) return;
  auto record = game_.Find(newestLoaded_);
  newestLoaded_.clear();
  if (record && ItemOf(record->packageName)) SelectNewItem(*record);
}

void ItemLifecycle::ShowDetailOf(const AppItemInfo& record) {
  toolkit::SetText(frame_.FindControl("DetailName"), record.appName);
  // A game without a usable icon shows the skin's own, not the previous game's.
  GtkWidget* icon = frame_.FindControl("DetailIcon");
  if (!platform::IsRegularFile(record.imagePath) ||
      !toolkit::SetImageFile(icon, record.imagePath, kDetailIconSize))
    toolkit::SetImageFile(icon, toolkit::ImagePath("img/game-detail.svg"), kDetailIconSize);
  UpdateDetail(record.status, game_.NoteOf(record), record.downloadPos);
  if (!browseDetail_ || detailTimer_) return;
  // Many items shown in a row (the catalogue load) navigate the detail browser once, to the
  // game that is selected when the burst is over.
  detailTimer_ = platform::AddTimer(0, [this] {
    detailTimer_ = 0;
    if (auto selected = game_.Find(selectedPackage_)) LoadDetailPage(*selected);
    return false;
  });
}

void ItemLifecycle::LoadDetailPage(const AppItemInfo& record) {
  if (!browseDetail_) return;
  if (!HasLocalDetail(record)) {
    browseDetail_->SetHomePage(record.detailUrl);
    browseDetail_->Navigate(record.detailUrl);
    return;
  }
  // Blank while the file is read, rather than the game shown before.
  browseDetail_->Navigate("about:blank");
  AppItemInfo copy = record;
  frame_.workers().jobs->Run("local detail reader", [copy] {
    Dispatcher::instance()->SendOwned(MSG_LOCAL_DETAIL_READY,
                                      std::make_unique<LocalDetail>(ReadLocalDetail(copy)));
  });
}

// A page that comes after the user moved on to another game is not shown.
void ItemLifecycle::OnLocalDetailReady(std::unique_ptr<LocalDetail> detail) {
  LUMO_CHECK_UI_THREAD();
  if (detail && browseDetail_ && IsSelected(detail->packageName))
    browseDetail_->ShowLocalPage(detail->html);
}

void ItemLifecycle::SetItemLabel(const std::string& packageName, int status) {
  LUMO_CHECK_UI_THREAD();
  GtkWidget* item = ItemOf(packageName);
  if (!item) return;
  std::string label = StatusLabel(status, CProgressUIEx::PlayerInstalled());
  if (!label.empty()) toolkit::SetText(toolkit::ItemControl(item, "status"), label);
  if (GameLifecycle::Deletable(status) && toolkit::IsChecked(checkboxTrash_))
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), true);
}

void ItemLifecycle::UpdateDetail(int status, const StatusNote& note, int value) {
  LUMO_CHECK_UI_THREAD();
  toolkit::SetText(GTK_WIDGET(detailSpeed_),
                   !note.reason.empty()
                       ? note.reason
                       : StatusDetailText(status, CProgressUIEx::PlayerInstalled(), note.text));
  if (!progress_) return;
  progress_->SetValue(value);
  progress_->SetState(status, note.retryHelps);
}

void ItemLifecycle::OnItemSelected() {
  LUMO_CHECK_UI_THREAD();
  selectedPackage_ = toolkit::ListCurrentUserData(installList_);
  auto record = game_.Find(selectedPackage_);
  if (record) ShowDetailOf(*record);
}

void ItemLifecycle::SelectGame(const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  GtkWidget* item = ItemOf(packageName);
  if (!item) return;
  frame_.ShowMyGamesTab();
  GtkWidget* row = gtk_widget_get_parent(item);
  if (GTK_IS_LIST_BOX_ROW(row)) gtk_list_box_select_row(installList_, GTK_LIST_BOX_ROW(row));
  OnItemSelected();
}

void ItemLifecycle::OnDeleteModeChanged() {
  LUMO_CHECK_UI_THREAD();
  bool deleting = toolkit::IsChecked(checkboxTrash_);
  for (const auto& [packageName, item] : elements_) {
    auto record = game_.Find(packageName);
    bool deletable = record && GameLifecycle::Deletable(record->status);
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), deleting && deletable);
  }
}

void ItemLifecycle::RefreshWaitingItems() {
  LUMO_CHECK_UI_THREAD();
  for (const auto& [packageName, record] : game_.records().records())
    if (record->status == kStatusWaitingInstall) SetItemLabel(packageName, record->status);
  if (SelectedStatus() == kStatusWaitingInstall) UpdateDetail(kStatusWaitingInstall, {}, 0);
}

void ItemLifecycle::ShowIcon(const std::string& packageName, const std::string& path) {
  if (GtkWidget* item = ItemOf(packageName))
    toolkit::SetImageFile(toolkit::ItemControl(item, "image"), path, kIconSize);
  if (IsSelected(packageName))
    toolkit::SetImageFile(frame_.FindControl("DetailIcon"), path, kDetailIconSize);
}

void ItemLifecycle::ShowStatus(const AppItemInfo& record, const StatusNote& note) {
  SetItemLabel(record.packageName, record.status);
  if (!IsSelected(record.packageName)) return;
  // The progress control shows how far a download got; other statuses have no fill.
  bool downloading = record.status == kStatusQueued || record.status == kStatusDownloading ||
                     record.status == kStatusPaused;
  UpdateDetail(record.status, note, downloading ? record.downloadPos : 0);
}

void ItemLifecycle::RemoveGame(const std::string& packageName) {
  if (GtkWidget* item = ItemOf(packageName)) toolkit::ListRemove(installList_, item);
  elements_.erase(packageName);
  if (toolkit::ListCount(installList_) == 0) {
    selectedPackage_.clear();
    if (toolkit::CurrentTab(tabDetail_) != 1) {
      toolkit::SelectTab(tabAppList_, 1);
      toolkit::SelectTab(tabDetail_, 1);
    }
    return;
  }
  if (IsSelected(packageName)) {
    // The panel moves to the game now on top rather than showing one that is gone.
    toolkit::ListSelect(installList_, 0);
    OnItemSelected();
  }
}

}  // namespace lumo
