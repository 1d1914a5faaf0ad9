#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtk/gtk.h>

struct _AppIndicator;

namespace lumo {

class WorkerPool;

namespace toolkit {
class SkinWindow;
}

// The program's icon in the notification area: a StatusNotifierItem on the session bus with
// the menu "显示界面" and "退出"; the item's activation shows the window as the first entry
// does. A tray host that shows it is a StatusNotifierWatcher on the same bus. UI thread only.
class TrayIcon {
 public:
  struct Commands {
    std::function<void()> show;
    std::function<void()> quit;
  };

  // The icon's library is loaded and the bus reached on `jobs`.
  TrayIcon(Commands commands, std::shared_ptr<WorkerPool> jobs);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Puts the icon (an image file) into the notification area once its library is loaded and
  // the session bus reached, both away from the UI thread; the menu's commands arrive on the
  // UI thread.
  void Add(const std::string& iconPath);
  // Takes the icon out of the notification area; harmless when it is not there.
  void Remove();
  // Whether a tray host can show the icon: "org.kde.StatusNotifierWatcher" has an owner on the
  // session bus. Without one, a window hidden to the tray could not be found again.
  bool HostPresent() const { return hostPresent_; }
  // Hides `window` to the tray; minimises it instead when no tray host would show the icon.
  void HideToTray(toolkit::SkinWindow* window);

 private:
  // The part of Add that needs the library and the bus.
  void Put(const std::string& iconPath);
  static void OnShow(GtkMenuItem*, gpointer self);
  static void OnQuit(GtkMenuItem*, gpointer self);
  static void OnHostAppeared(GDBusConnection*, const char*, const char*, gpointer self);
  static void OnHostVanished(GDBusConnection*, const char*, gpointer self);

  Commands commands_;
  std::shared_ptr<WorkerPool> jobs_;
  // Whether the icon is wanted, and where its library and bus are.
  bool wanted_ = false;
  enum class Readiness { kNotAsked, kReadying, kReady } readiness_ = Readiness::kNotAsked;
  // The session bus, held so that the indicator and the host watch find the connection made
  // off the UI thread rather than make their own on it.
  GDBusConnection* bus_ = nullptr;
  // The job's way back: gone with the icon.
  std::shared_ptr<TrayIcon*> alive_ = std::make_shared<TrayIcon*>(this);
  _AppIndicator* indicator_ = nullptr;
  GtkWidget* menu_ = nullptr;
  unsigned hostWatch_ = 0;
  bool hostPresent_ = false;
};

}  // namespace lumo
