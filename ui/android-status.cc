#include "ui/android-status.h"

#include <utility>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"
#include "toolkit/controls.h"
#include "vm/vm-bridge-client.h"

namespace lumo {

AndroidStatus::AndroidStatus(GtkLabel* indicator, std::shared_ptr<VmBridgeClient> bridge)
    : indicator_(indicator), bridge_(std::move(bridge)) {
  if (indicator_) toolkit::SetText(GTK_WIDGET(indicator_), DescribeAndroidInUse(devices_));
}

void AndroidStatus::Register(platform::WindowHandle window) {
  Dispatcher::instance()->Register(MSG_ANDROID_DEVICES, window,
                                   [this](const AndroidDevices& devices) { OnDevices(devices); });
  Dispatcher::instance()->Register(MSG_DEVICE_CONNECTED, window,
                                   [this](const DeviceConnectResult& result) {
                                     if (watcher_.connected) watcher_.connected(result);
                                   });
  // A player that connects later is told at once.
  SendChoice();
}

void AndroidStatus::Unregister(platform::WindowHandle window) {
  Dispatcher::instance()->Unregister(MSG_ANDROID_DEVICES, window);
  Dispatcher::instance()->Unregister(MSG_DEVICE_CONNECTED, window);
  watcher_ = {};
}

void AndroidStatus::SendChoice() {
  const Settings& settings = Settings::instance();
  Log::instance()->write(
      "Android choice: %s, network devices %s.", settings.androidDevice.c_str(),
      settings.androidAddresses.empty() ? "none" : settings.androidAddresses.c_str());
  bridge_->ChooseDevice(
      DeviceChoiceText(settings.androidDevice, SplitDeviceAddresses(settings.androidAddresses)));
}

bool AndroidStatus::Connect(const std::string& address) {
  return bridge_->ConnectDevice(address);
}

void AndroidStatus::OnDevices(const AndroidDevices& devices) {
  devices_ = devices;
  std::string line = DescribeAndroidInUse(devices_);
  if (indicator_) {
    toolkit::SetText(GTK_WIDGET(indicator_), line);
    gtk_widget_set_tooltip_text(GTK_WIDGET(indicator_), line.c_str());
  }
  if (watcher_.changed) watcher_.changed();
}

}  // namespace lumo
