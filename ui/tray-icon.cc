#include "ui/tray-icon.h"

#include <libayatana-appindicator/app-indicator.h>

#include "app/log.h"
#include "app/worker-pool.h"
#include "platform/dynamic-library.h"
#include "platform/ui-loop.h"
#include "toolkit/skin-window.h"

namespace lumo {

namespace {

constexpr char kIndicatorId[] = "lumo";
constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";

// The indicator library, and the five it brings, is loaded with the first icon, once the
// window is on the screen and on a worker thread: linked, it would add tens of milliseconds to
// every start. It stays loaded, since the types it registers cannot be taken back.
struct Indicator {
  AppIndicator* (*create)(const gchar*, const gchar*, AppIndicatorCategory) = nullptr;
  void (*setTitle)(AppIndicator*, const gchar*) = nullptr;
  void (*setMenu)(AppIndicator*, GtkMenu*) = nullptr;
  void (*setSecondaryTarget)(AppIndicator*, GtkWidget*) = nullptr;
  void (*setStatus)(AppIndicator*, AppIndicatorStatus) = nullptr;
};

const Indicator* LoadedIndicator() {
  static const Indicator* loaded = []() -> const Indicator* {
    static auto* library = new platform::DynamicLibrary("libayatana-appindicator3.so.1");
    static Indicator indicator;
    if (library->Bind("app_indicator_new", &indicator.create) &&
        library->Bind("app_indicator_set_title", &indicator.setTitle) &&
        library->Bind("app_indicator_set_menu", &indicator.setMenu) &&
        library->Bind("app_indicator_set_secondary_activate_target",
                      &indicator.setSecondaryTarget) &&
        library->Bind("app_indicator_set_status", &indicator.setStatus))
      return &indicator;
    Log::instance()->write(
        "tray icon: the indicator library cannot be loaded: %s",
        library->IsLoaded() ? "a function is missing" : library->Error().c_str());
    return nullptr;
  }();
  return loaded;
}

GtkWidget* AddMenuItem(GtkWidget* menu, const char* label, GCallback callback, gpointer self) {
  GtkWidget* item = gtk_menu_item_new_with_label(label);
  g_signal_connect(item, "activate", callback, self);
  gtk_widget_show(item);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  return item;
}

}  // namespace

TrayIcon::TrayIcon(Commands commands, std::shared_ptr<WorkerPool> jobs)
    : commands_(std::move(commands)), jobs_(std::move(jobs)) {}

TrayIcon::~TrayIcon() {
  Remove();
  if (bus_) g_object_unref(bus_);
}

void TrayIcon::Add(const std::string& iconPath) {
  wanted_ = true;
  if (indicator_ || readiness_ == Readiness::kReadying) return;
  if (readiness_ == Readiness::kReady) {
    Put(iconPath);
    return;
  }
  // Loading the library maps and relocates six of them, and the first connection to the
  // session bus may start a bus through dbus-launch and wait for it: together some tens of
  // milliseconds that the window would not answer in.
  std::weak_ptr<TrayIcon*> alive = alive_;
  bool started = jobs_->Run("tray icon", [alive, iconPath] {
    LoadedIndicator();
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    std::string failure = error ? error->message : "";
    if (error) g_error_free(error);
    platform::InvokeOnUiThread([alive, iconPath, bus, failure] {
      std::shared_ptr<TrayIcon*> held = alive.lock();
      if (!held) {
        if (bus) g_object_unref(bus);
        return;
      }
      TrayIcon* tray = *held;
      if (!bus) Log::instance()->write("tray icon: no session bus: %s", failure.c_str());
      tray->bus_ = bus;
      tray->readiness_ = Readiness::kReady;
      if (tray->wanted_) tray->Put(iconPath);
    });
  });
  if (started) readiness_ = Readiness::kReadying;
}

void TrayIcon::Put(const std::string& iconPath) {
  const Indicator* library = LoadedIndicator();
  if (!library) return;
  if (iconPath.empty()) Log::instance()->write("tray icon: the program's image is missing.");
  // The icon is named by its full path, which tray hosts accept. Naming a folder of icons
  // instead makes the library's fallback for desktops without a tray host read past the end
  // of GTK's icon search path.
  indicator_ =
      library->create(kIndicatorId, iconPath.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
  library->setTitle(indicator_, "Lumo");
  menu_ = gtk_menu_new();
  g_object_ref_sink(menu_);
  GtkWidget* show = AddMenuItem(menu_, "显示界面", G_CALLBACK(OnShow), this);
  AddMenuItem(menu_, "退出", G_CALLBACK(OnQuit), this);
  library->setMenu(indicator_, GTK_MENU(menu_));
  // The protocol has no double click; the host's activation stands in for it.
  library->setSecondaryTarget(indicator_, show);
  library->setStatus(indicator_, APP_INDICATOR_STATUS_ACTIVE);
  hostWatch_ = g_bus_watch_name(G_BUS_TYPE_SESSION, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                OnHostAppeared, OnHostVanished, this, nullptr);
  Log::instance()->write("tray icon added.");
}

void TrayIcon::Remove() {
  wanted_ = false;
  if (!indicator_) return;
  if (hostWatch_) g_bus_unwatch_name(hostWatch_);
  hostWatch_ = 0;
  hostPresent_ = false;
  // A passive item is taken off the panel at once; the object then leaves the bus.
  LoadedIndicator()->setStatus(indicator_, APP_INDICATOR_STATUS_PASSIVE);
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
