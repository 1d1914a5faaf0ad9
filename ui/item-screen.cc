// The screen side of game items: list items, their labels, the detail panel.

#include <gtk/gtk.h>

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

bool Deletable(int status) {
  return status == kStatusDownloadFailed || status == kStatusInstalled ||
         status == kStatusInstallFailed;
}

bool FileExists(const std::string& path) {
  return !path.empty() && platform::PathExists(path) && !platform::IsDirectory(path);
}

}  // namespace

GtkWidget* ItemLifecycle::ItemOf(const std::string& packageName) const {
  auto it = elements_.find(packageName);
  return it == elements_.end() ? nullptr : it->second;
}

int ItemLifecycle::SelectedStatus() const {
  auto record = AppItemMap::instance().Find(selectedPackage_);
  return record ? record->status : -1;
}

bool ItemLifecycle::ShowItem(const std::shared_ptr<AppItemInfo>& record) {
  auto known = AppItemMap::instance().Find(record->packageName);
  if (!known) {
    GtkWidget* item = frame_.BuildItem("ListItemElement.xml");
    if (!item) return false;
    GtkWidget* image = toolkit::ItemControl(item, "image");
    if (FileExists(record->imagePath)) toolkit::SetImageFile(image, record->imagePath, kIconSize);
    toolkit::SetText(toolkit::ItemControl(item, "name"), record->appName);
    toolkit::ListInsert(installList_, 0, item, record->packageName);
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), false);
    elements_[record->packageName] = item;
    toolkit::SetVisible(GTK_WIDGET(installList_), true);
    selectedPackage_ = record->packageName;
    toolkit::ListSelect(installList_, 0);
    SetItemLabel(record->packageName, record->status);
    ShowDetailOf(*record);
    if (toolkit::CurrentTab(tabDetail_) != 0) {
      toolkit::SelectTab(tabAppList_, 0);
      toolkit::SelectTab(tabDetail_, 0);
    }
    return true;
  }
  if (known->status == kStatusInstalled || known->status == kStatusInstallFailed) {
    SetItemLabel(record->packageName, record->status);
    if (IsSelected(record->packageName)) UpdateDetail(record->status, {}, 0);
    AppItemMap::instance().Set(record);
    return true;
  }
  return false;
}

void ItemLifecycle::ShowDetailOf(const AppItemInfo& record) {
  toolkit::SetText(frame_.FindControl("DetailName"), record.appName);
  // A game without a usable icon shows the skin's own, not the previous game's.
  GtkWidget* icon = frame_.FindControl("DetailIcon");
  if (!FileExists(record.imagePath) ||
      !toolkit::SetImageFile(icon, record.imagePath, kDetailIconSize))
    toolkit::SetImageFile(icon, toolkit::ImagePath("img/game-detail.svg"), kDetailIconSize);
  UpdateDetail(record.status, {}, record.downloadPos);
  if (!browseDetail_ || detailTimer_) return;
  // Many items shown in a row (the catalogue load) navigate the detail browser once, to the
  // game that is selected when the burst is over.
  detailTimer_ = platform::AddTimer(0, [this] {
    detailTimer_ = 0;
    auto selected = AppItemMap::instance().Find(selectedPackage_);
    if (selected && browseDetail_) {
      browseDetail_->SetHomePage(selected->detailUrl);
      browseDetail_->Navigate(selected->detailUrl);
    }
    return false;
  });
}

void ItemLifecycle::SetItemLabel(const std::string& packageName, int status) {
  GtkWidget* item = ItemOf(packageName);
  if (!item) return;
  std::string label = StatusLabel(status, CProgressUIEx::PlayerInstalled());
  if (!label.empty()) toolkit::SetText(toolkit::ItemControl(item, "status"), label);
  if (Deletable(status) && toolkit::IsChecked(checkboxTrash_))
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), true);
}

void ItemLifecycle::UpdateDetail(int status, const std::string& text, int value) {
  toolkit::SetText(GTK_WIDGET(detailSpeed_),
                   StatusDetailText(status, CProgressUIEx::PlayerInstalled(), text));
  if (!progress_) return;
  progress_->SetValue(value);
  progress_->SetState(status);
}

void ItemLifecycle::OnItemSelected() {
  selectedPackage_ = toolkit::ListCurrentUserData(installList_);
  auto record = AppItemMap::instance().Find(selectedPackage_);
  if (record) ShowDetailOf(*record);
}

void ItemLifecycle::OnDeleteModeChanged() {
  bool deleting = toolkit::IsChecked(checkboxTrash_);
  for (const auto& [packageName, item] : elements_) {
    auto record = AppItemMap::instance().Find(packageName);
    bool deletable = record && Deletable(record->status);
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), deleting && deletable);
  }
}

void ItemLifecycle::RefreshWaitingItems() {
  for (const auto& [packageName, record] : AppItemMap::instance().records())
    if (record->status == kStatusWaitingInstall) SetItemLabel(packageName, record->status);
  if (SelectedStatus() == kStatusWaitingInstall) UpdateDetail(kStatusWaitingInstall, {}, 0);
}

void ItemLifecycle::SetItemIcon(const std::string& packageName, const std::string& path) {
  if (GtkWidget* item = ItemOf(packageName))
    toolkit::SetImageFile(toolkit::ItemControl(item, "image"), path, kIconSize);
  if (IsSelected(packageName))
    toolkit::SetImageFile(frame_.FindControl("DetailIcon"), path, kDetailIconSize);
}

void ItemLifecycle::RemoveItem(const std::string& packageName) {
  if (GtkWidget* item = ItemOf(packageName)) toolkit::ListRemove(installList_, item);
  elements_.erase(packageName);
  AppItemMap::instance().Erase(packageName);
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
