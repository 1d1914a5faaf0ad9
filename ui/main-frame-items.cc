// The screen side of game items in the main window: list items, their labels, the detail
// panel, and the test commands that drive them.

#include <gtk/gtk.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "catalogue/app-database-task-loop.h"
#include "platform/file-system.h"
#include "stat/data-stat.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/toolkit.h"
#include "ui/main-frame.h"
#include "ui/progress-ui-ex.h"

namespace lumo {

namespace {

constexpr int kIconSize = 48;
constexpr int kEventInstallQueued = 204;
constexpr int kDetailIconSize = 64;

bool Deletable(int status) {
  return status == kStatusDownloadFailed || status == kStatusInstalled ||
         status == kStatusInstallFailed;
}

bool FileExists(const std::string& path) {
  return !path.empty() && g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR);
}

}  // namespace

void MainFrame::OnAppLoaded(platform::WParam w, platform::LParam) {
  std::shared_ptr<AppItemInfo> record(reinterpret_cast<AppItemInfo*>(w));
  if (!record || !ShowItem(record)) return;
  AppItemMap::instance().Set(record);
  // Resuming downloads and queueing installs by status belong to the item lifecycle.
}

void MainFrame::OnLocalApkReady(platform::WParam w, platform::LParam) {
  std::shared_ptr<AppItemInfo> record(reinterpret_cast<AppItemInfo*>(w));
  if (!record) return;
  if (record->packageName.empty()) {
    Log::instance()->write("%s is not a readable APK; nothing added.", record->localPath.c_str());
    return;
  }
  if (!ShowItem(record)) return;
  AppItemMap::instance().Set(record);
  PostInsertApp(std::make_shared<AppItemInfo>(*record));
  ReportEvent(kEventInstallQueued, record->packageName);
  // The install task on the emulator's task loop is queued here once that loop is merged.
}

GtkWidget* MainFrame::ItemOf(const std::string& packageName) const {
  auto it = elements_.find(packageName);
  return it == elements_.end() ? nullptr : it->second;
}

bool MainFrame::ShowItem(const std::shared_ptr<AppItemInfo>& record) {
  auto known = AppItemMap::instance().Find(record->packageName);
  if (!known) {
    GtkWidget* item = BuildItem("ListItemElement.xml");
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
    if (record->packageName == selectedPackage_) UpdateDetail(record->status, {}, 0);
    AppItemMap::instance().Set(record);
    return true;
  }
  return false;
}

void MainFrame::ShowDetailOf(const AppItemInfo& record) {
  toolkit::SetText(FindControl("DetailName"), record.appName);
  // A game without a usable icon shows the skin's own, not the previous game's.
  GtkWidget* icon = FindControl("DetailIcon");
  if (!FileExists(record.imagePath) ||
      !toolkit::SetImageFile(icon, record.imagePath, kDetailIconSize))
    toolkit::SetImageFile(icon, toolkit::ImagePath("img/game-detail.svg"), kDetailIconSize);
  UpdateDetail(record.status, {}, record.downloadPos);
  if (browseDetail_) {
    browseDetail_->SetHomePage(record.detailUrl);
    browseDetail_->Navigate(record.detailUrl);
  }
}

void MainFrame::SetItemLabel(const std::string& packageName, int status) {
  GtkWidget* item = ItemOf(packageName);
  if (!item) return;
  std::string label = StatusLabel(status, CProgressUIEx::PlayerInstalled());
  if (!label.empty()) toolkit::SetText(toolkit::ItemControl(item, "status"), label);
  if (Deletable(status) && toolkit::IsChecked(checkboxTrash_))
    toolkit::SetVisible(toolkit::ItemControl(item, "btn_delete_applist"), true);
}

void MainFrame::UpdateDetail(int status, const std::string& text, int value) {
  toolkit::SetText(GTK_WIDGET(detailSpeed_),
                   StatusDetailText(status, CProgressUIEx::PlayerInstalled(), text));
  if (!downloadProgress_) return;
  downloadProgress_->SetValue(value);
  downloadProgress_->SetState(status);
}

}  // namespace lumo
