#include "ui/hard-fail-wnd.h"

#include <gtk/gtk.h>

#include "app/log.h"
#include "platform/system.h"

namespace lumo {

namespace {

constexpr unsigned long long kEnoughMemory = 2147483648ULL;

}  // namespace

int HardFailWnd::Run(toolkit::SkinWindow* owner) {
  HardFailWnd dialog;
  toolkit::WindowStyle style;
  style.resizable = false;
  style.dialog = true;
  style.showInTaskbar = false;
  if (!dialog.Create(owner, "HardFailWnd", style, 100, 200)) return 1;
  dialog.CenterWindow();
  dialog.ShowModal();
  return dialog.result_;
}

void HardFailWnd::Notify(const toolkit::Notification& n) {
  if (n.type == "link") {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(n.text.c_str(), nullptr, &error)) g_error_free(error);
    return;
  }
  SkinWindow::Notify(n);
}

void HardFailWnd::OnClick(const toolkit::Notification& n) {
  if (n.sender == "btn_close" || n.sender == "btn_ok") {
    result_ = 0;
    Close(0);
  } else if (n.sender == "btn_cancel") {
    result_ = 1;
    Close(1);
  }
}

bool HardwareIsEnough(int processors, unsigned long long memoryBytes) {
  return processors >= 2 && memoryBytes >= kEnoughMemory;
}

bool HardwareCheck(toolkit::SkinWindow* owner) {
  if (HardwareIsEnough(platform::ProcessorCount(), platform::PhysicalMemoryBytes())) return true;
  return HardFailWnd::Run(owner) != 0;
}

std::vector<std::string> PickApkFiles(toolkit::SkinWindow* owner) {
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new("添加本地游戏", owner ? owner->window() : nullptr,
                                  GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
  gtk_file_chooser_set_select_multiple(files, TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, "Apk文件");
  gtk_file_filter_add_pattern(filter, "*.apk");
  gtk_file_filter_add_pattern(filter, "*.xapk");
  gtk_file_filter_add_pattern(filter, "*.apks");
  gtk_file_chooser_add_filter(files, filter);
  std::vector<std::string> paths;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    GSList* names = gtk_file_chooser_get_filenames(files);
    for (GSList* it = names; it; it = it->next) {
      paths.emplace_back(static_cast<char*>(it->data));
      g_free(it->data);
    }
    g_slist_free(names);
  }
  g_object_unref(chooser);
  return paths;
}

}  // namespace lumo
