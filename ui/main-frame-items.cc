// The screen side of game items in the main window: list items, their labels, the detail
// panel, and the test commands that drive them.
#include <sstream>

#include <gtk/gtk.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/file-system.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/test-hook.h"
#include "toolkit/toolkit.h"
#include "ui/hard-fail-wnd.h"
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
  if (!record || record->packageName.empty()) return;
  if (!ShowItem(record)) return;
  AppItemMap::instance().Set(record);
  // The catalogue insert, event 204 and the install task belong to the item lifecycle.
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

void MainFrame::RegisterTestCommands() {
  // "item <package> <status> <percent> <icon or -> <name...>": a record as the catalogue
  // load delivers it.
  toolkit::RegisterTestCommand("item", [this](const std::vector<std::string>& args) {
    if (args.size() < 5) return std::string("error usage");
    auto* record = new AppItemInfo;
    record->packageName = args[0];
    record->status = std::atoi(args[1].c_str());
    record->downloadPos = std::atoi(args[2].c_str());
    if (args[3] != "-") record->imagePath = args[3];
    for (size_t i = 4; i < args.size(); ++i) record->appName += (i > 4 ? " " : "") + args[i];
    record->detailUrl = "about:blank";
    Dispatcher::instance()->Send(MSG_APP_LOADED, reinterpret_cast<WParam>(record), 0);
    return std::string("ok");
  });
  // "state <status> <percent> [text]": the selected game moves to a status.
  toolkit::RegisterTestCommand("state", [this](const std::vector<std::string>& args) {
    auto record = AppItemMap::instance().Find(selectedPackage_);
    if (!record || args.size() < 2) return std::string("error no selection");
    record->status = std::atoi(args[0].c_str());
    record->downloadPos = std::atoi(args[1].c_str());
    SetItemLabel(record->packageName, record->status);
    UpdateDetail(record->status, args.size() > 2 ? args[2] : "", record->downloadPos);
    return std::string("ok");
  });
  toolkit::RegisterTestCommand("progress", [this](const std::vector<std::string>& args) {
    if (!downloadProgress_) return std::string("error no progress control");
    std::ostringstream out;
    if (!args.empty() && args[0] == "click")
      out << (downloadProgress_->OnButtonRelease(true) ? "clicked " : "ignored ");
    out << "state=" << downloadProgress_->state() << " value=" << downloadProgress_->value()
        << " hand=" << downloadProgress_->WantsHandCursor()
        << " text=" << downloadProgress_->text();
    return out.str();
  });
  toolkit::RegisterTestCommand("hardfail", [this](const std::vector<std::string>&) {
    return "result=" + std::to_string(HardFailWnd::Run(this));
  });
  toolkit::RegisterTestCommand("cloud", [](const std::vector<std::string>& args) {
    if (args.empty()) return std::string("error usage");
    Dispatcher::instance()->Send(MSG_CLOUD_PLAY, reinterpret_cast<WParam>(args[0].c_str()), 0);
    return std::string("ok");
  });
  toolkit::RegisterTestCommand("resize", [this](const std::vector<std::string>& args) {
    if (args.size() < 2) return std::string("error usage");
    gtk_window_resize(window(), std::atoi(args[0].c_str()), std::atoi(args[1].c_str()));
    return std::string("ok");
  });
  toolkit::RegisterTestCommand("floating", [this](const std::vector<std::string>&) {
    std::ostringstream out;
    for (const char* name : {"checkbox_add", "btn_add_find", "btn_add_local"}) {
      GtkWidget* control = FindControl(name);
      int width = 0, height = 0;
      gtk_widget_get_size_request(control, &width, &height);
      out << name << '=' << gtk_widget_get_margin_start(control) << ','
          << gtk_widget_get_margin_top(control) << ',' << width << ',' << height << ' ';
    }
    GtkAllocation all;
    gtk_widget_get_allocation(GTK_WIDGET(window()), &all);
    out << "client=" << all.width << ',' << all.height;
    return out.str();
  });
}

}  // namespace lumo
