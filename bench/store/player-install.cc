// The player's install alone, for the store install benchmark: makes the bridge server NAME
// that a Runbox.exe started with RUNBOX_SERVER=NAME connects to, waits for its VM to start,
// then sends one install of APK and prints "installed code=C ms=T": the time from the request
// to the player's result. Asks the player to close at the end.
// Usage: player-install NAME APK
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "components/vmbridge/vm-bridge.h"
#include "vm/vm-bridge-client.h"

namespace {

// Called on the bridge's own thread: keeps the first message of each type for main.
class Replies final : public ConnetEvent {
 public:
  bool OnConnected(bool) override { return true; }
  bool OnDisconnected(bool) override { return true; }
  bool OnMessage(const VmMessage* message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (message->type == wanted_ && !arrived_) {
      text_ = message->data;
      arrived_ = true;
      changed_.notify_all();
    }
    return true;
  }
  void Expect(std::uint32_t type) {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = type;
    arrived_ = false;
  }
  // The reply's text, or empty after `seconds` without one.
  std::string Wait(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return arrived_; });
    return arrived_ ? text_ : std::string();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t wanted_ = 0;
  bool arrived_ = false;
  std::string text_;
};

bool SendText(VmServer* server, std::uint32_t type, const std::string& text) {
  VmMessage message{type, static_cast<std::uint32_t>(text.size() + 1), text.c_str()};
  return server->Send(&message);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Replies replies;
  replies.Expect(lumo::kVmStarted);
  VmServer* server = br_CreateServer(argv[1], &replies);
  if (replies.Wait(60) != "0") {
    std::fprintf(stderr, "player-install: the VM did not start\n");
    return 1;
  }
  replies.Expect(lumo::kVmInstall);
  auto start = std::chrono::steady_clock::now();
  if (!SendText(server, lumo::kVmInstall, argv[2])) return 1;
  std::string code = replies.Wait(120);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start);
  std::printf("installed code=%s ms=%lld\n", code.empty() ? "none" : code.c_str(),
              static_cast<long long>(ms.count()));
  SendText(server, lumo::kVmClose, "0");
  br_DeleteServer(server);
  return code == "0" ? 0 : 1;
}
