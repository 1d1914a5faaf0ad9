#include "ui/setting-wnd.h"

#include <gtk/gtk.h>

#include "app/log.h"
#include "app/settings.h"
#include "platform/desktop.h"
#include "platform/file-system.h"
#include "toolkit/controls.h"

namespace lumo {

namespace {

constexpr int kInitialSize = 100;

}  // namespace

void SettingWnd::Run(toolkit::SkinWindow* owner) {
  SettingWnd dialog;
  toolkit::WindowStyle style;
  style.resizable = false;
  style.dialog = true;
  style.showInTaskbar = false;
  // The window grows from this to the size its skin asks for.
  if (!dialog.Create(owner, "SettingWnd", style, kInitialSize, kInitialSize)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

void SettingWnd::InitWindow() {
  const Settings& settings = Settings::instance();
  editData_ = FindEdit("EditData");
  editDownload_ = FindEdit("EditDownload");
  optionHide_ = FindOption("option_hide");
  optionExit_ = FindOption("option_exit");
  // The data, log and settings all live under the application folder: that is what is shown.
  if (editData_) toolkit::SetText(GTK_WIDGET(editData_), settings.appDir);
  if (editDownload_) toolkit::SetText(GTK_WIDGET(editDownload_), settings.downloadDir);
  GtkToggleButton* selected = settings.minOnClose != 0 ? optionHide_ : optionExit_;
  if (selected) toolkit::SetChecked(selected, true);
  AttachShadow();
}

void SettingWnd::OnClick(const toolkit::Notification& n) {
  const std::string& name = n.sender;
  if (name == "btnClose" || name == "btnCancel") {
    Close(0);
  } else if (name == "btnOk") {
    Save();
    Close(1);
  } else if (name == "btn_data") {
    std::string error;
    const std::string& folder = Settings::instance().appDir;
    if (!platform::OpenFolder(folder, &error))
      Log::instance()->write("data folder %s not opened: %s", folder.c_str(), error.c_str());
  } else if (name == "btn_download") {
    // The dialog may be gone when the file manager answers: the outcome is only logged.
    platform::ShowInFileManager(Settings::instance().downloadDir,
                                [](bool, const std::string& detail) {
                                  Log::instance()->write("download folder: %s", detail.c_str());
                                });
  } else if (name == "btn_browse") {
    ChooseDownloadFolder();
  }
}

// The download folder is taken as typed: it is neither checked nor created, and the icons
// folder stays where it is until the next start.
void SettingWnd::Save() {
  Settings& settings = Settings::instance();
  settings.minOnClose = optionHide_ && toolkit::IsChecked(optionHide_) ? 1 : 0;
  if (editDownload_) settings.downloadDir = toolkit::GetText(GTK_WIDGET(editDownload_));
  settings.Save();
  Log::instance()->write("settings saved: download folder %s, close %s.",
                         settings.downloadDir.c_str(), settings.minOnClose ? "hides" : "quits");
}

void SettingWnd::ChooseDownloadFolder() {
  if (!editDownload_) return;
  std::string folder =
      PickFolder(this, "选择游戏下载目录", toolkit::GetText(GTK_WIDGET(editDownload_)));
  if (!folder.empty()) toolkit::SetText(GTK_WIDGET(editDownload_), folder);
}

std::string PickFolder(toolkit::SkinWindow* owner, const std::string& title,
                       const std::string& start) {
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(title.c_str(), owner ? owner->window() : nullptr,
                                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "选择", "取消");
  GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
  if (platform::IsDirectory(start)) gtk_file_chooser_set_current_folder(files, start.c_str());
  // GTK draws its own chooser where no desktop portal does; its dark variant matches the
  // program's look. The preference is put back afterwards.
  GtkSettings* settings = gtk_settings_get_default();
  gboolean preferDark = FALSE;
  g_object_get(settings, "gtk-application-prefer-dark-theme", &preferDark, nullptr);
  g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
  std::string folder;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* name = gtk_file_chooser_get_filename(files);
    if (name) folder = name;
    g_free(name);
  }
  g_object_set(settings, "gtk-application-prefer-dark-theme", preferDark, nullptr);
  g_object_unref(chooser);
  return folder;
}

}  // namespace lumo
