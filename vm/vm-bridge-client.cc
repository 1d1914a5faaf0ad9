#include "vm/vm-bridge-client.h"

#include <cstring>
#include <utility>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/strings.h"
#include "vm/player-runtime.h"
#include "vm/vm-abis.h"
#include "vm/vm-task-loop.h"

namespace lumo {

namespace {

int ReadCode(const VmMessage* message) {
  int value = 0;
  if (!message->data || !ParseLeadingInt(message->data, &value)) {
    Log::instance()->write("VM message of type %u has no number: \"%s\"", message->type,
                           message->data ? message->data : "");
    return -1;
  }
  return value;
}

void SendDone(const Message<PlayerResult>& message, int code, const std::string& packageName) {
  Dispatcher::instance()->Send(message, {.code = code, .packageName = packageName});
}

}  // namespace

bool LUMConnectEvent::OnConnected(bool result) {
  if (!result) return true;
  Log::instance()->write("VM Connection connected. [result=%d].", result ? 1 : 0);
  client_.connected_ = true;
  client_.Greet();
  return true;
}

bool LUMConnectEvent::OnDisconnected(bool result) {
  Log::instance()->write("VM Connection disconnected. [result=%d].", result ? 1 : 0);
  client_.connected_ = false;
  client_.vmStarted_ = false;
  client_.ForgetSentLaunches();
  tasks_.Stop();
  std::shared_ptr<VMTask> task = tasks_.TakeCurrentTask();
  if (auto install = std::dynamic_pointer_cast<ApkInstallTask>(task)) {
    std::string name = install->GetPackageName();
    Log::instance()->write("%s install complete, akt is closed.", name.c_str());
    SendDone(MSG_INSTALL_DONE, 1, name);
  } else if (auto uninstall = std::dynamic_pointer_cast<ApkUninstallTask>(task)) {
    std::string name = uninstall->GetPackageName();
    SendDone(MSG_UNINSTALL_DONE, 1, name);
    Log::instance()->write("%s uninstall complete. akt is closed.", name.c_str());
  } else if (!client_.closeRequested_) {
    // The player went away on its own: the emulator is needed, so start it again.
    LaunchPlayer();
  }
  return true;
}

bool LUMConnectEvent::OnMessage(const VmMessage* message) {
  if (!message) return true;
  // A player sends these once per start or launch; a flood of them is dropped here rather
  // than raising the window or starting the loop once per frame.
  bool vmStart = message->type == kVmStarted || message->type == kVmClose;
  bool raise = message->type == kVmHello || message->type == kVmSplash;
  if ((vmStart && !vmStartRate_.Admit()) || (raise && !raiseRate_.Admit()) ||
      (message->type == kVmAbis && !abisRate_.Admit()))
    return true;
  switch (message->type) {
    case kVmStarted:
      if (ReadCode(message) != 0) {
        Log::instance()->write("VM start failed.");
        break;
      }
      Log::instance()->write("VM start complete.");
      client_.vmStarted_ = true;
      client_.FlushPendingLaunch();
      OnVmStarted();
      break;
    case kVmClose:
      if (ReadCode(message) != 0) break;
      client_.vmStarted_ = true;
      OnVmStarted();
      break;
    case kVmPackages:
      OnPackageList(message);
      break;
    case kVmAbis:
      if (message->data)
        RememberVmAbis(
            ParseVmAbis(std::string_view(message->data, strnlen(message->data, message->length))));
      break;
    case kVmDevices:
      if (devicesRate_.Admit()) OnDevices(message);
      break;
    case kVmConnectDevice:
      if (devicesRate_.Admit()) OnDeviceConnected(message);
      break;
    case kVmInstall:
      OnInstallResult(ReadCode(message));
      break;
    case kVmUninstall:
      OnUninstallResult(ReadCode(message));
      break;
    case kVmLaunch:
      OnLaunchResult(ReadCode(message));
      break;
    case kVmHello:
    case kVmSplash:
      Dispatcher::instance()->Post(MSG_SHOW_MAIN);
      break;
    default:
      break;
  }
  return true;
}

void LUMConnectEvent::OnVmStarted() {
  // Asked before the loop runs, so the answer reflects no install of this session.
  client_.SendBytes(kVmPackages, "0", 2);
  tasks_.Start();
}

void LUMConnectEvent::OnPackageList(const VmMessage* message) {
  if (!message->data) return;
  std::string text(message->data, strnlen(message->data, message->length));
  if (auto installed = packages_.Add(text))
    Dispatcher::instance()->SendOwned(MSG_PLAYER_PACKAGES, std::move(installed));
}

void LUMConnectEvent::OnDevices(const VmMessage* message) {
  AndroidDevices devices;
  if (!message->data ||
      !ParseAndroidDevices(std::string_view(message->data, strnlen(message->data, message->length)),
                           &devices)) {
    Log::instance()->write("device list from the player not understood; ignored.");
    return;
  }
  const AndroidDevice* inUse = devices.InUse();
  {
    std::lock_guard<std::mutex> lock(client_.deviceMutex_);
    client_.deviceModel_ = inUse ? (inUse->model.empty() ? inUse->serial : inUse->model) : "";
  }
  Log::instance()->write("player: adb %s, %zu devices, in use: %s.",
                         devices.adbFound ? "found" : "missing", devices.devices.size(),
                         inUse ? inUse->serial.c_str() : "the demo VM");
  Dispatcher::instance()->Send(MSG_ANDROID_DEVICES, std::move(devices));
}

void LUMConnectEvent::OnDeviceConnected(const VmMessage* message) {
  DeviceConnectResult result;
  if (!message->data ||
      !ParseDeviceConnectResult(
          std::string_view(message->data, strnlen(message->data, message->length)), &result)) {
    Log::instance()->write("network device answer from the player not understood; ignored.");
    return;
  }
  Log::instance()->write("network device %s: %s (%s).", result.address.c_str(),
                         result.connected ? "connected" : "not connected", result.message.c_str());
  Dispatcher::instance()->Send(MSG_DEVICE_CONNECTED, std::move(result));
}

void LUMConnectEvent::OnInstallResult(int code) {
  std::shared_ptr<VMTask> task = tasks_.TakeCurrentTask();
  if (auto install = std::dynamic_pointer_cast<ApkInstallTask>(task)) {
    std::string name = install->GetPackageName();
    Log::instance()->write("%s install complete. [err=%d]", name.c_str(), code);
    SendDone(MSG_INSTALL_DONE, code, name);
  }
  tasks_.NotifyTaskDone(task);
}

void LUMConnectEvent::OnUninstallResult(int code) {
  std::shared_ptr<VMTask> task = tasks_.TakeCurrentTask();
  if (auto uninstall = std::dynamic_pointer_cast<ApkUninstallTask>(task)) {
    std::string name = uninstall->GetPackageName();
    SendDone(MSG_UNINSTALL_DONE, code, name);
    Log::instance()->write("%s uninstall complete. [err=%d]", name.c_str(), code);
  }
  tasks_.NotifyTaskDone(task);
}

void LUMConnectEvent::OnLaunchResult(int code) {
  std::string name = client_.TakeSentLaunch();
  if (name.empty()) return;
  if (code == 0) {
    Dispatcher::instance()->Send(MSG_LAUNCH_DONE, {name, client_.DeviceModelInUse()});
    return;
  }
  Log::instance()->write("%s launch failed. [err=%d]", name.c_str(), code);
  SendDone(MSG_LAUNCH_FAILED, code, name);
}

void VmBridgeClient::LaunchApp(const std::string& packageName, const std::string& launchActivity,
                               const std::string& appName, const std::string& imagePath) {
  std::string text = packageName + "/" + launchActivity;
  if (vmStarted_) {
    SendLaunch(text);
    return;
  }
  if (!KeepLaunch(text)) return;
  if (IsPlayerRunning())
    SendSplash(imagePath, appName);
  else
    LaunchPlayer();
}

bool VmBridgeClient::KeepLaunch(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingLaunch_ = text;
  }
  // The VM may have started since the caller looked, and its flush found nothing yet. The
  // bridge thread sets the flag before it flushes, so one of the two flushes sees the launch.
  if (!vmStarted_) return true;
  FlushPendingLaunch();
  return false;
}

void VmBridgeClient::FlushPendingLaunch() {
  if (!connected_) return;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (pendingLaunch_.empty()) return;
    text.swap(pendingLaunch_);
  }
  SendLaunch(text);
}

void VmBridgeClient::SendLaunch(const std::string& text) {
  // Recorded before the send: the answer may arrive on the bridge thread before it returns.
  constexpr std::size_t kMaxUnanswered = 16;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    sentLaunches_.push_back(text.substr(0, text.find('/')));
    if (sentLaunches_.size() > kMaxUnanswered) sentLaunches_.pop_front();
  }
  if (!SendText(kVmLaunch, text)) ForgetSentLaunches();
}

std::string VmBridgeClient::TakeSentLaunch() {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  if (sentLaunches_.empty()) return {};
  std::string name = std::move(sentLaunches_.front());
  sentLaunches_.pop_front();
  return name;
}

void VmBridgeClient::ForgetSentLaunches() {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  sentLaunches_.clear();
}

void VmBridgeClient::SendSplash(const std::string& iconPath, const std::string& appName) {
  if (connected_) SendText(kVmSplash, iconPath + ";" + appName);
}

bool VmBridgeClient::SendText(std::uint32_t type, const std::string& text) {
  std::string bytes = WideToAnsi(Utf8ToWide(text));
  return SendBytes(type, bytes.c_str(), static_cast<std::uint32_t>(bytes.size() + 1));
}

bool VmBridgeClient::SendBytes(std::uint32_t type, const char* data, std::uint32_t length) {
  VmServer* current = server_.load();
  if (!current) return false;
  VmMessage message{type, length, data};
  return current->Send(&message);
}

std::string VmBridgeClient::PendingLaunch() {
  std::lock_guard<std::mutex> lock(pendingMutex_);
  return pendingLaunch_;
}

void VmBridgeClient::AttachServer(VmServer* created) {
  bool greet;
  {
    std::lock_guard<std::mutex> lock(greetingMutex_);
    server_ = created;
    greet = std::exchange(greetingPending_, false);
  }
  if (greet) SendGreeting();
}

void VmBridgeClient::Greet() {
  {
    std::lock_guard<std::mutex> lock(greetingMutex_);
    greetingPending_ = !server_;
    if (greetingPending_) return;
  }
  SendGreeting();
}

void VmBridgeClient::SendGreeting() {
  SendBytes(kVmHello, "0", 2);
  std::string choice;
  {
    std::lock_guard<std::mutex> lock(deviceMutex_);
    choice = deviceChoice_;
  }
  if (!choice.empty()) SendText(kVmDeviceChoice, choice);
}

void VmBridgeClient::ChooseDevice(const std::string& choiceText) {
  {
    std::lock_guard<std::mutex> lock(deviceMutex_);
    deviceChoice_ = choiceText;
  }
  if (connected_) SendText(kVmDeviceChoice, choiceText);
}

bool VmBridgeClient::ConnectDevice(const std::string& address) {
  return connected_ && SendText(kVmConnectDevice, address);
}

std::string VmBridgeClient::DeviceModelInUse() {
  std::lock_guard<std::mutex> lock(deviceMutex_);
  return deviceModel_;
}

void VmBridgeClient::CreateServer(VMTaskLoop& tasks) {
  closeRequested_ = false;
  events_ = std::make_unique<LUMConnectEvent>(*this, tasks);
  // A player already waiting is reported on the bridge thread before br_CreateServer returns.
  AttachServer(br_CreateServer(kVmServerName, events_.get()));
}

void VmBridgeClient::DeleteServer() {
  VmServer* server = server_.exchange(nullptr);
  if (server) br_DeleteServer(server);
  events_.reset();
  connected_ = false;
  vmStarted_ = false;
}

void VmBridgeClient::ClosePlayerOnExit() {
  RequestClose();
  if (connected()) {
    SendBytes(kVmClose, "0", 1);
    return;
  }
  StopPlayer();
}

}  // namespace lumo
