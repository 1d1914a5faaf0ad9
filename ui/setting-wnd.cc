#include "ui/setting-wnd.h"

#include <algorithm>

#include <gtk/gtk.h>

#include "app/log.h"
#include "app/settings.h"
#include "platform/desktop.h"
#include "platform/file-system.h"
#include "toolkit/controls.h"
#include "ui/android-status.h"

namespace lumo {

namespace {

constexpr int kInitialSize = 100;

}  // namespace

void SettingWnd::Run(toolkit::SkinWindow* owner, AndroidStatus* android) {
  SettingWnd dialog;
  dialog.android_ = android;
  toolkit::WindowStyle style;
  style.resizable = false;
  style.dialog = true;
  style.showInTaskbar = false;
  // The window grows from this to the size its skin asks for.
  if (!dialog.Create(owner, "SettingWnd", style, kInitialSize, kInitialSize)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
  if (android) android->Watch({});
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
  androidChoices_ = GTK_BOX(FindControl("androidChoices"));
  editAddress_ = FindEdit("EditAddress");
  androidNote_ = FindLabel("androidNote");
  picked_ = settings.androidDevice;
  addresses_ = SplitDeviceAddresses(settings.androidAddresses);
  FillDevices();
  if (android_)
    android_->Watch({[this] { FillDevices(); },
                     [this](const DeviceConnectResult& result) { OnDeviceConnected(result); }});
  AttachShadow();
}

void SettingWnd::FillDevices() {
  if (!androidChoices_) return;
  for (auto& [button, value] : choices_) gtk_widget_destroy(GTK_WIDGET(button));
  choices_.clear();
  AddChoice("auto", "自动选择（只有一台设备可用时使用它，否则使用演示虚拟机）", true);
  AddChoice("demo", "演示虚拟机", true);
  const AndroidDevices empty;
  const AndroidDevices& reported = android_ ? android_->devices() : empty;
  bool pickedSeen = picked_ == "auto" || picked_ == "demo";
  for (const AndroidDevice& device : reported.devices) {
    AddChoice(device.serial, DescribeDevice(device) + (device.inUse ? " · 正在使用" : ""),
              device.state == "device");
    pickedSeen = pickedSeen || device.serial == picked_;
  }
  // A device picked before and not seen now stays the choice until the user changes it.
  if (!pickedSeen) AddChoice(picked_, picked_ + " · 未连接", false);
  if (!reported.reported)
    Note("正在查找安卓设备…");
  else if (!reported.adbFound)
    Note("未找到 adb，只能使用演示虚拟机：请安装 adb 软件包");
}

void SettingWnd::AddChoice(const std::string& value, const std::string& label, bool usable) {
  GSList* group =
      choices_.empty() ? nullptr : gtk_radio_button_get_group(GTK_RADIO_BUTTON(choices_[0].first));
  GtkWidget* button = gtk_radio_button_new_with_label(group, label.c_str());
  gtk_widget_set_can_focus(button, FALSE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), value == picked_);
  gtk_widget_set_sensitive(button, usable || value == picked_);
  g_signal_connect(button, "toggled", G_CALLBACK(+[](GtkToggleButton* toggled, gpointer self) {
                     auto* dialog = static_cast<SettingWnd*>(self);
                     if (!gtk_toggle_button_get_active(toggled)) return;
                     for (auto& [choice, choiceValue] : dialog->choices_)
                       if (choice == toggled) dialog->picked_ = choiceValue;
                   }),
                   this);
  gtk_box_pack_start(androidChoices_, button, FALSE, FALSE, 0);
  gtk_widget_show(button);
  choices_.emplace_back(GTK_TOGGLE_BUTTON(button), value);
}

void SettingWnd::AddNetworkDevice() {
  if (!editAddress_) return;
  std::string address = toolkit::GetText(GTK_WIDGET(editAddress_));
  if (!IsDeviceAddress(address)) {
    Note("请输入 主机:端口，例如 192.168.1.20:5555");
    return;
  }
  if (!android_ || !android_->Connect(address)) {
    Note("模拟器组件未运行，暂时无法连接设备，请稍后再试");
    return;
  }
  Note("正在连接 " + address + "…");
}

void SettingWnd::OnDeviceConnected(const DeviceConnectResult& result) {
  if (!result.connected) {
    Note("无法连接 " + result.address + (result.message.empty() ? "" : "：" + result.message));
    return;
  }
  if (std::find(addresses_.begin(), addresses_.end(), result.address) == addresses_.end() &&
      addresses_.size() < kMaxDeviceAddresses)
    addresses_.push_back(result.address);
  if (editAddress_) toolkit::SetText(GTK_WIDGET(editAddress_), "");
  Note("已连接 " + result.address + "，点击确定后保存");
}

void SettingWnd::Note(const std::string& text) {
  if (androidNote_) toolkit::SetText(GTK_WIDGET(androidNote_), text);
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
  } else if (name == "btn_add_device") {
    AddNetworkDevice();
  } else if (name == "btn_rescan") {
    Note("正在查找安卓设备…");
    if (android_) android_->SendChoice();
  }
}

// The download folder is taken as typed: it is neither checked nor created, and the icons
// folder stays where it is until the next start.
void SettingWnd::Save() {
  Settings& settings = Settings::instance();
  settings.minOnClose = optionHide_ && toolkit::IsChecked(optionHide_) ? 1 : 0;
  if (editDownload_) settings.downloadDir = toolkit::GetText(GTK_WIDGET(editDownload_));
  settings.androidDevice = picked_.empty() ? "auto" : picked_;
  settings.androidAddresses = JoinDeviceAddresses(addresses_);
  settings.Save();
  if (android_) android_->SendChoice();
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
