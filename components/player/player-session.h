#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "components/player/package-backend.h"
#include "components/player/package-record.h"
#include "components/player/player-config.h"
#include "components/player/player-view.h"
#include "components/vmbridge/vm-frame.h"

namespace runbox {

// The player's link to Lumo and its VM. One thread keeps the connection to the bridge (and
// connects again when it drops), one boots the VM, one carries out requests in order, so that
// a long install never stops the player from hearing a close request.
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
  int Handle(const vmbridge::Frame& request);
  int Install(const std::string& apkPath);
  int Launch(const std::string& text);
  void SendPackageList();
  bool SendText(std::uint32_t type, const std::string& text);
  void SetVmState(VmState state);
  void Quit(const char* why);

  PlayerConfig config_;
  PlayerView* view_;
  PackageRecord record_;
  std::unique_ptr<PackageBackend> backend_;
  std::atomic<bool> quitting_{false};
  std::atomic<VmState> vmState_{VmState::kStopped};
  std::atomic<bool> booting_{false};
  int wakeFds_[2] = {-1, -1};

  std::mutex sendMutex_;
  int fd_ = -1;

  std::mutex requestMutex_;
  std::condition_variable requestReady_;
  std::deque<vmbridge::Frame> requests_;

  std::thread connection_, boot_, worker_;
};

}  // namespace runbox
