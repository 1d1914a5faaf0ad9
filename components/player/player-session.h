#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "components/player/package-record.h"
#include "components/player/player-config.h"
#include "components/player/player-view.h"
#include "components/player/target-switch.h"
#include "components/vmbridge/vm-frame.h"

namespace runbox {

// The player's link to Lumo and its targets. One thread keeps the connection to the bridge
// (and connects again when it drops), one boots the demo VM, one carries out requests in
// order, so that a long install never stops the player from hearing a close request. The
// request thread also finds devices and switches between the demo VM and a device.
class PlayerSession {
 public:
  PlayerSession(const PlayerConfig& config, PlayerView* view);
  ~PlayerSession();
  PlayerSession(const PlayerSession&) = delete;
  PlayerSession& operator=(const PlayerSession&) = delete;

  void Start();
  // Ends the threads; a running install is cancelled.
  void Stop();

 private:
  void ConnectionLoop();
  // Waits `delay`, or less when the session stops.
  void Pause(std::chrono::milliseconds delay);
  int Connect();
  // True when the bridge sent at least one message: a bridge that closes without a word has
  // turned the player away.
  bool Serve(int fd);
  void OnFrame(const vmbridge::Frame& frame);
  void StartBoot();
  void Boot();
  void RequestLoop();
  // The next request, or false when none came within the device poll (or the player quits).
  bool NextRequest(vmbridge::Frame* request);
  void Carry(const vmbridge::Frame& request);
  int Handle(const vmbridge::Frame& request);
  void OnDeviceChoice(const std::string& text);
  void OnConnectDevice(const std::string& address);
  // Tells Lumo the devices (always, or when their text changed) and, when the target changed
  // or on the first look, its ABIs and that it is ready (the demo VM boots first).
  void Announce(bool changed, bool always);
  // What a newly connected Lumo learns: the same, from what the request thread last found.
  void AnnounceOnConnect(int fd);
  int Install(const std::string& apkPath);
  int Launch(const std::string& text);
  void SendPackageList();
  bool SendText(std::uint32_t type, const std::string& text);
  void SetVmState(VmState state);
  void Quit(const char* why);

  PlayerConfig config_;
  PlayerView* view_;
  PackageRecord record_;
  std::atomic<bool> quitting_{false};
  TargetSwitch targets_;  // request thread only
  std::atomic<VmState> vmState_{VmState::kStopped};
  std::atomic<bool> booting_{false};
  int wakeFds_[2] = {-1, -1};

  std::mutex sendMutex_;
  int fd_ = -1;

  std::mutex requestMutex_;
  std::condition_variable requestReady_;
  std::deque<vmbridge::Frame> requests_;

  // What Lumo is told of the target, written by the request thread and read on connection.
  // Held while the target is announced and while a connection is taken up, so that a Lumo
  // that connects meanwhile hears the one state that follows. Taken before sendMutex_.
  std::mutex announceMutex_;
  bool looked_ = false;  // the first look for devices is done
  std::string devicesText_;
  std::string abisText_;
  std::atomic<bool> onDevice_{false};

  std::thread connection_, boot_, worker_;
};

}  // namespace runbox
