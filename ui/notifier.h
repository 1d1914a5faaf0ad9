#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include <gio/gio.h>
#include <gtk/gtk.h>

#include "catalogue/app-item-info.h"

namespace lumo {

// Desktop notifications of the outcomes a user waits for away from the window (a download
// that failed, an install that ended, a launch that failed), through the freedesktop
// notification service on the session bus. One per outcome while the main window is hidden
// or not focused, none while it has the focus. Activating one hands its game to `activate`.
// UI thread only.
class Notifier {
 public:
  using ActivateFn = std::function<void(const std::string& packageName)>;

  Notifier(GtkWindow* window, ActivateFn activate);
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // `text` says what happened to the game of `record`.
  void Tell(const AppItemInfo& record, const std::string& text);

 private:
  bool UserIsLooking() const;
  void OnBus(GDBusConnection* bus);
  void OnShown(std::uint32_t id, const std::string& packageName);
  void OnSignal(const gchar* signal, GVariant* parameters);

  GtkWindow* window_;
  ActivateFn activate_;
  // Cancelled when the notifier goes, so no late reply reaches it.
  GCancellable* cancellable_;
  GDBusConnection* bus_ = nullptr;
  guint signals_ = 0;
  // The notifications on screen, by the service's id, with their games.
  std::map<std::uint32_t, std::string> shown_;
};

}  // namespace lumo
