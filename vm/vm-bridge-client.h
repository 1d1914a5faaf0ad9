#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "app/rate-limit.h"
#include "components/vmbridge/vm-bridge.h"
#include "vm/android-devices.h"
#include "vm/player-packages.h"

namespace lumo {

inline constexpr char kVmServerName[] = "andkite0";

// Message types exchanged with the emulator through the bridge.
inline constexpr std::uint32_t kVmInstall = 1;    // APK path / install result
inline constexpr std::uint32_t kVmUninstall = 2;  // package name / uninstall result
inline constexpr std::uint32_t kVmLaunch = 3;     // "package/activity"
inline constexpr std::uint32_t kVmStarted = 4;    // VM start result, 0 is started
inline constexpr std::uint32_t kVmHello = 5;      // on connection / bring Lumo to the front
inline constexpr std::uint32_t kVmSplash = 6;     // "icon;name" / bring Lumo to the front
inline constexpr std::uint32_t kVmClose = 7;      // Lumo closes / 0 when the VM runs already
// Lumo asks which packages the player has installed / the list (vm/player-packages.h). A
// player that does not know it never answers, and nothing changes.
inline constexpr std::uint32_t kVmPackages = 8;
// Our player announces the ABIs its VM runs when it connects: "x86_64,x86" (vm/vm-abis.h).
inline constexpr std::uint32_t kVmAbis = 9;
// The Android devices the player's adb sees and the one in use (vm/android-devices.h) / what
// Lumo picked, and the network devices the user added / one network device to connect now,
// and the player's answer.
inline constexpr std::uint32_t kVmDevices = 10;
inline constexpr std::uint32_t kVmDeviceChoice = 11;
inline constexpr std::uint32_t kVmConnectDevice = 12;

class VmBridgeClient;
class VMTaskLoop;

// The event sink handed to the bridge. Called on the bridge's own thread, not the UI thread:
// results go to the UI through the Dispatcher (the package name travels as a UTF-8 char
// pointer valid for the send only) and to the task loop.
class LUMConnectEvent final : public ConnetEvent {
 public:
  LUMConnectEvent(VmBridgeClient& client, VMTaskLoop& tasks) : client_(client), tasks_(tasks) {}
  bool OnConnected(bool result) override;
  bool OnDisconnected(bool result) override;
  bool OnMessage(const VmMessage* message) override;

 private:
  void OnInstallResult(int code);
  void OnUninstallResult(int code);
  void OnLaunchResult(int code);

  // Bridge thread only. A few per second: what a real player needs, not what a flood asks.
  RateLimit vmStartRate_{3, 4};
  RateLimit raiseRate_{3, 4};
  RateLimit abisRate_{3, 4};  // each new list is written to disk
  RateLimit devicesRate_{5, 4};
  void OnDevices(const VmMessage* message);
  void OnDeviceConnected(const VmMessage* message);
  void OnVmStarted();
  void OnPackageList(const VmMessage* message);

  PlayerPackageCollector packages_;
  VmBridgeClient& client_;
  VMTaskLoop& tasks_;
};

// The link to the bridge: its server, its event sink and the launch that waits for the VM to
// start. The run routine makes the program's one and hands it to those who use it.
class VmBridgeClient {
 public:
  VmBridgeClient() = default;
  VmBridgeClient(const VmBridgeClient&) = delete;
  VmBridgeClient& operator=(const VmBridgeClient&) = delete;

  // UI thread. Sends the launch now when the VM runs; otherwise keeps it (one slot) and shows
  // the splash, or starts the player.
  void LaunchApp(const std::string& packageName, const std::string& launchActivity,
                 const std::string& appName, const std::string& imagePath);
  // Keeps the launch `text` until the VM starts; false when the VM has started meanwhile and
  // the launch went out at once.
  bool KeepLaunch(const std::string& text);
  // Sends the launch that waits; on the bridge thread once the VM has started, and from
  // KeepLaunch.
  void FlushPendingLaunch();
  void SendSplash(const std::string& iconPath, const std::string& appName);
  // Sends `text` as a message of `type` whose length counts the terminating NUL. False when
  // there is no server or no player connected.
  bool SendText(std::uint32_t type, const std::string& text);
  bool SendBytes(std::uint32_t type, const char* data, std::uint32_t length);
  std::string PendingLaunch();
  // Bridge thread: the package of the oldest launch the player has not answered; the player
  // answers launches in the order they were sent. Empty when none is waiting.
  std::string TakeSentLaunch();
  // The player went away: launches sent to it are answered no more.
  void ForgetSentLaunches();
  // UI thread. What the player is to use; sent now and to every player that connects.
  void ChooseDevice(const std::string& choiceText);
  // UI thread. Asks the player to connect to a network device; false when no player listens.
  bool ConnectDevice(const std::string& address);
  // The model of the Android device in use as last reported; empty for the built-in VM.
  std::string DeviceModelInUse();

  // Stores the server br_CreateServer returned, then sends the greeting kept for a player
  // that connected before it returned.
  void AttachServer(VmServer* created);
  // Bridge thread, when a player has connected: greets it, or keeps the greeting for
  // AttachServer when the server is not stored yet.
  void Greet();

  // Start-up: a new event sink reporting to `tasks`, which outlives the server, and the
  // bridge server "andkite0".
  void CreateServer(VMTaskLoop& tasks);
  // Shutdown: the server is deleted, then its event sink; no callback arrives afterwards, and
  // the link reads as down.
  void DeleteServer();
  // What the closing main window does with the emulator: ask the player to close when it is
  // connected (the write is bounded by the bridge), else end the player process.
  void ClosePlayerOnExit();

  // The state of the link to the emulator, set by the event sink on the bridge thread; read on
  // any thread.
  bool connected() const { return connected_; }
  bool vmStarted() const { return vmStarted_; }
  // Set once Lumo has asked the player to close: its going away is then no reason to start
  // it again.
  void RequestClose() { closeRequested_ = true; }
  bool closeRequested() const { return closeRequested_; }

 private:
  friend class LUMConnectEvent;
  void SendLaunch(const std::string& text);
  // The hello, then the device choice when Lumo has made one.
  void SendGreeting();

  std::unique_ptr<LUMConnectEvent> events_;
  // Read by the bridge thread while the UI thread sets or clears it.
  std::atomic<VmServer*> server_{nullptr};
  std::atomic<bool> closeRequested_{false};
  std::atomic<bool> connected_{false};
  std::atomic<bool> vmStarted_{false};

  std::mutex deviceMutex_;
  std::string deviceChoice_;
  std::string deviceModel_;

  std::mutex pendingMutex_;
  std::string pendingLaunch_;
  std::deque<std::string> sentLaunches_;
  // Orders storing the server against a greeting made on the bridge thread meanwhile.
  std::mutex greetingMutex_;
  bool greetingPending_ = false;
};

}  // namespace lumo
