// The screen side of game items: list items, their labels, the detail panel.

#include <algorithm>

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

constexpr int kDetailIconSize = 64;

}  // namespace

void ItemLifecycle::OrderList() {
  if (!installList_) return;
  // Single, not browse: a selected game scrolled out of view leaves no row selected.
  gtk_list_box_set_selection_mode(installList_, GTK_SELECTION_SINGLE);
  rows_ = std::make_unique<toolkit::RowWindow>(
      installList_, [this] { return BuildRow(); },
      [this](GtkWidget* item, std::size_t index) { BindRow(item, index); });
  GError* error = nullptr;
  defaultIcon_ = gdk_pixbuf_new_from_file_at_scale(
      toolkit::ImagePath("img/game-default.png").c_str(), kIconSize, kIconSize, TRUE, &error);
  if (error) g_error_free(error);
}

GtkWidget* ItemLifecycle::BuildRow() {
  GtkWidget* item = frame_.BuildItem("ListItemElement.xml");
  // Every row is as tall as an icon, whatever it shows.
  if (item) gtk_widget_set_size_request(toolkit::ItemControl(item, "image"), kIconSize, kIconSize);
  return item;
}

void ItemLifecycle::BindRow(GtkWidget* item, std::size_t index) {
  const std::string& packageName = PackageAt(index);
  toolkit::SetItemUserData(item, packageName);
  auto record = game_.Find(packageName);
  GdkPixbuf* icon = record && platform::IsRegularFile(record->imagePath)
                        ? icons_.Get(record->imagePath)
                        : nullptr;
  gtk_image_set_from_pixbuf(GTK_IMAGE(toolkit::ItemControl(item, "image")),
                            icon ? icon : defaultIcon_);
  toolkit::SetText(toolkit::ItemControl(item, "name"), record ? record->appName : packageName);
  int status = record ? record->status : -1;
  std::string label = StatusLabel(status, CProgressUIEx::PlayerInstalled());
  toolkit::SetText(toolkit::ItemControl(item, "status"), label);
  bool deleting = toolkit::IsChecked(checkboxTrash_);
  toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"),
                      deleting && record && GameLifecycle::Deletable(status));
}

std::size_t ItemLifecycle::IndexOf(const std::string& packageName) const {
  auto it = std::find(order_.rbegin(), order_.rend(), packageName);
  return it == order_.rend() ? toolkit::RowWindow::kNone
                             : static_cast<std::size_t>(it - order_.rbegin());
}

GtkWidget* ItemLifecycle::ItemOf(const std::string& packageName) const {
  LUMO_CHECK_UI_THREAD();
  return rows_ ? rows_->ItemAt(IndexOf(packageName)) : nullptr;
}

int ItemLifecycle::SelectedStatus() const {
  LUMO_CHECK_UI_THREAD();
  auto record = game_.Find(selectedPackage_);
  return record ? record->status : -1;
}

bool ItemLifecycle::AddGame(const AppItemInfo& record) {
  if (!rows_) return false;
  order_.push_back(record.packageName);
  rows_->SetCount(order_.size());
  // A game added now is newer than any still loading: the selection is its.
  newestLoaded_.clear();
  SelectNewItem(record);
  return true;
}

// The item just placed on top.
void ItemLifecycle::SelectNewItem(const AppItemInfo& record) {
  selectedPackage_ = record.packageName;
  rows_->ScrollTo(0);
  rows_->MarkSelected(0);
  ShowDetailOf(record);
  if (toolkit::CurrentTab(tabDetail_) != 0) {
    toolkit::SelectTab(tabAppList_, 0);
    toolkit::SelectTab(tabDetail_, 0);
  }
}

void ItemLifecycle::QueueLoadedGame(const std::string& packageName) {
  if (!rows_) return;
  order_.push_back(packageName);
  newestLoaded_ = packageName;
  if (loadingIdle_) return;
  // Below painting and input, so both go first.
  loadingIdle_ = g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer self) -> gboolean {
        static_cast<ItemLifecycle*>(self)->ShowLoaded();
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

// The burst is in: its newest game is selected, as if each had been on arrival.
void ItemLifecycle::ShowLoaded() {
  loadingIdle_ = 0;
  std::size_t selected = IndexOf(selectedPackage_);
  rows_->SetCount(order_.size());
  rows_->MarkSelected(selected);
  if (newestLoaded_.empty()) return;
  auto record = game_.Find(newestLoaded_);
  newestLoaded_.clear();
  if (record) SelectNewItem(*record);
}

void ItemLifecycle::ShowDetailOf(const AppItemInfo& record) {
  toolkit::SetText(frame_.FindControl("DetailName"), record.appName);
  // A game without a usable icon shows the skin's own, not the previous game's.
  GtkWidget* icon = frame_.FindControl("DetailIcon");
  if (!platform::IsRegularFile(record.imagePath) ||
      !toolkit::SetImageFile(icon, record.imagePath, kDetailIconSize))
    toolkit::SetImageFile(icon, toolkit::ImagePath("img/game-detail.png"), kDetailIconSize);
  UpdateDetail(record.status, game_.NoteOf(record), record.downloadPos);
  if (detailTimer_) return;
  // Many items shown in a row (the catalogue load) navigate the detail browser once, to the
  // game that is selected when the burst is over.
  detailTimer_ = platform::AddTimer(0, [this] {
    detailTimer_ = 0;
    frame_.WhenDetailBrowser([this](toolkit::Browser& detail) {
      if (auto selected = game_.Find(selectedPackage_)) LoadDetailPage(detail, *selected);
    });
    return false;
  });
}

void ItemLifecycle::LoadDetailPage(toolkit::Browser& detail, const AppItemInfo& record) {
  if (!HasLocalDetail(record)) {
    detail.SetHomePage(record.detailUrl);
    detail.Navigate(record.detailUrl);
    return;
  }
  // Blank while the file is read, rather than the game shown before.
  detail.Navigate("about:blank");
  AppItemInfo copy = record;
  frame_.workers().jobs->Run("local detail reader", [copy] {
    Dispatcher::instance()->SendOwned(MSG_LOCAL_DETAIL_READY,
                                      std::make_unique<LocalDetail>(ReadLocalDetail(copy)));
  });
}

// A page that comes after the user moved on to another game is not shown.
void ItemLifecycle::OnLocalDetailReady(std::unique_ptr<LocalDetail> detail) {
  LUMO_CHECK_UI_THREAD();
  toolkit::Browser* browser = frame_.detailBrowser();
  if (detail && browser && IsSelected(detail->packageName)) browser->ShowLocalPage(detail->html);
}

void ItemLifecycle::SetItemLabel(const std::string& packageName, int status) {
  LUMO_CHECK_UI_THREAD();
  GtkWidget* item = ItemOf(packageName);
  if (!item) return;
  std::string label = StatusLabel(status, CProgressUIEx::PlayerInstalled());
  if (!label.empty()) toolkit::SetText(toolkit::ItemControl(item, "status"), label);
  toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"),
                      GameLifecycle::Deletable(status) && toolkit::IsChecked(checkboxTrash_));
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
  std::string picked = toolkit::ListCurrentUserData(installList_);
  if (picked.empty()) return;
  selectedPackage_ = picked;
  rows_->MarkSelected(IndexOf(picked));
  auto record = game_.Find(selectedPackage_);
  if (record) ShowDetailOf(*record);
}

void ItemLifecycle::SelectGame(const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  std::size_t index = IndexOf(packageName);
  auto record = game_.Find(packageName);
  if (index == toolkit::RowWindow::kNone || !record) return;
  frame_.ShowMyGamesTab();
  selectedPackage_ = packageName;
  rows_->ScrollTo(index);
  rows_->MarkSelected(index);
  ShowDetailOf(*record);
}

void ItemLifecycle::OnDeleteModeChanged() {
  LUMO_CHECK_UI_THREAD();
  if (rows_) rows_->Rebind();
}

void ItemLifecycle::RefreshWaitingItems() {
  LUMO_CHECK_UI_THREAD();
  if (rows_) rows_->Rebind();
  if (SelectedStatus() == kStatusWaitingInstall) UpdateDetail(kStatusWaitingInstall, {}, 0);
}

void ItemLifecycle::ShowIcon(const std::string& packageName, const std::string& path) {
  icons_.Forget(path);
  if (GtkWidget* item = ItemOf(packageName)) {
    GdkPixbuf* icon = icons_.Get(path);
    gtk_image_set_from_pixbuf(GTK_IMAGE(toolkit::ItemControl(item, "image")),
                              icon ? icon : defaultIcon_);
  }
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
  std::size_t index = IndexOf(packageName);
  if (index == toolkit::RowWindow::kNone || !rows_) return;
  order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(order_.size() - 1 - index));
  std::size_t selected =
      IsSelected(packageName) ? toolkit::RowWindow::kNone : IndexOf(selectedPackage_);
  rows_->SetCount(order_.size());
  rows_->MarkSelected(selected);
  if (order_.empty()) {
    selectedPackage_.clear();
    if (toolkit::CurrentTab(tabDetail_) != 1) {
      toolkit::SelectTab(tabAppList_, 1);
      toolkit::SelectTab(tabDetail_, 1);
    }
    return;
  }
  if (IsSelected(packageName)) {
    // The panel moves to the game now on top rather than showing one that is gone.
    if (auto top = game_.Find(PackageAt(0))) SelectNewItem(*top);
  }
}

}  // namespace lumo
