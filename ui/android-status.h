#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtk/gtk.h>

#include "platform/window.h"
#include "vm/android-devices.h"

namespace lumo {

class VmBridgeClient;

// Which Android the games go to, as the player last reported it: the main window's indicator
// shows it, and the settings window reads the devices and asks for changes through it. The
// choice itself lives in the settings and reaches the player over the bridge. UI thread only.
class AndroidStatus {
 public:
  // `indicator` is the main window's label for it; `bridge` carries the choice to the player.
  AndroidStatus(GtkLabel* indicator, std::shared_ptr<VmBridgeClient> bridge);
  AndroidStatus(const AndroidStatus&) = delete;
  AndroidStatus& operator=(const AndroidStatus&) = delete;

  void Register(platform::WindowHandle window);
  void Unregister(platform::WindowHandle window);

  const AndroidDevices& devices() const { return devices_; }
  // Sends the choice in the settings to the player, which looks for devices again.
  void SendChoice();
  // Asks the player to connect to this network device; false when no player is connected.
  bool Connect(const std::string& address);

  // The open settings window's calls on a new device list and on a network device's answer.
  struct Watcher {
    std::function<void()> changed;
    std::function<void(const DeviceConnectResult&)> connected;
  };
  void Watch(Watcher watcher) { watcher_ = std::move(watcher); }

 private:
  void OnDevices(const AndroidDevices& devices);

  GtkLabel* indicator_;
  std::shared_ptr<VmBridgeClient> bridge_;
  AndroidDevices devices_;
  Watcher watcher_;
};

}  // namespace lumo
