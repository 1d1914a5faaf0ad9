#include "ui/tray-icon.h"

#include <libayatana-appindicator/app-indicator.h>

#include "app/log.h"
#include "toolkit/skin-window.h"

namespace lumo {

namespace {

constexpr char kIndicatorId[] = "lumo";
constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";

GtkWidget* AddMenuItem(GtkWidget* menu, const char* label, GCallback callback, gpointer self) {
  GtkWidget* item = gtk_menu_item_new_with_label(label);
  g_signal_connect(item, "activate", callback, self);
  gtk_widget_show(item);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  return item;
}

}  // namespace

TrayIcon::TrayIcon(Commands commands) : commands_(std::move(commands)) {}

TrayIcon::~TrayIcon() {
  Remove();
}

void TrayIcon::Add(const std::string& iconPath) {
  if (indicator_) return;
  if (iconPath.empty()) Log::instance()->write("tray icon: the program's image is missing.");
  // The icon is named by its full path, which tray hosts accept. Naming a folder of icons
  // instead makes the library's fallback for desktops without a tray host read past the end
  // of GTK's icon search path.
  indicator_ =
      app_indicator_new(kIndicatorId, iconPath.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
  app_indicator_set_title(indicator_, "Lumo");
  menu_ = gtk_menu_new();
  g_object_ref_sink(menu_);
  GtkWidget* show = AddMenuItem(menu_, "显示界面", G_CALLBACK(OnShow), this);
  AddMenuItem(menu_, "退出", G_CALLBACK(OnQuit), this);
  app_indicator_set_menu(indicator_, GTK_MENU(menu_));
  // The protocol has no double click; the host's activation stands in for it.
  app_indicator_set_secondary_activate_target(indicator_, show);
  app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
  hostWatch_ = g_bus_watch_name(G_BUS_TYPE_SESSION, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                OnHostAppeared, OnHostVanished, this, nullptr);
  Log::instance()->write("tray icon added.");
}

void TrayIcon::Remove() {
  if (!indicator_) return;
  if (hostWatch_) g_bus_unwatch_name(hostWatch_);
  hostWatch_ = 0;
  hostPresent_ = false;
  // A passive item is taken off the panel at once; the object then leaves the bus.
  app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_PASSIVE);
  g_object_unref(indicator_);
  indicator_ = nullptr;
  gtk_widget_destroy(menu_);
  g_object_unref(menu_);
  menu_ = nullptr;
  Log::instance()->write("tray icon removed.");
}

void TrayIcon::HideToTray(toolkit::SkinWindow* window) {
  if (hostPresent_) {
    window->HideWindow();
    Log::instance()->write("main window hidden to the tray.");
    return;
  }
  // A hidden window with no icon to bring it back would be lost to the user.
  window->Minimize();
  Log::instance()->write(
      "main window minimised instead of hidden: no tray host (org.kde.StatusNotifierWatcher) "
      "on the session bus.");
}

void TrayIcon::OnShow(GtkMenuItem*, gpointer self) {
  auto* tray = static_cast<TrayIcon*>(self);
  if (tray->commands_.show) tray->commands_.show();
}

void TrayIcon::OnQuit(GtkMenuItem*, gpointer self) {
  auto* tray = static_cast<TrayIcon*>(self);
  if (tray->commands_.quit) tray->commands_.quit();
}

void TrayIcon::OnHostAppeared(GDBusConnection*, const char*, const char* owner, gpointer self) {
  static_cast<TrayIcon*>(self)->hostPresent_ = true;
  Log::instance()->write("tray host %s appeared.", owner);
}

void TrayIcon::OnHostVanished(GDBusConnection* connection, const char*, gpointer self) {
  auto* tray = static_cast<TrayIcon*>(self);
  tray->hostPresent_ = false;
  Log::instance()->write(connection ? "no tray host on the session bus."
                                    : "no session bus: no tray host can show the icon.");
}

}  // namespace lumo
