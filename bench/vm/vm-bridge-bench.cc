// Round trips of one small message through the bridge library (Send, the peer echoes it, the
// bridge thread calls OnMessage) against the same frames bounced over a plain socket pair in
// the same run. Prints round trips per second for each and their ratio: the cost the bridge's
// thread hand-over adds to the socket itself. Usage: vm-bridge-bench [round trips]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdlib.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "components/vmbridge/vm-bridge.h"
#include "components/vmbridge/vm-frame.h"

namespace {

using Clock = std::chrono::steady_clock;

// Echoes every frame back until the stream ends.
void Echo(int fd) {
  vmbridge::FrameReader reader;
  vmbridge::Frame frame;
  char buffer[4096];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    reader.Feed(buffer, static_cast<std::size_t>(n));
    while (reader.Next(&frame) == vmbridge::FrameReader::Result::kFrame)
      vmbridge::WriteAll(fd, vmbridge::EncodeFrame(frame.type, frame.data.data(),
                                                   static_cast<std::uint32_t>(frame.data.size())));
  }
}

class Counter final : public ConnetEvent {
 public:
  bool OnConnected(bool) override { return Bump(); }
  bool OnDisconnected(bool) override { return true; }
  bool OnMessage(const VmMessage*) override { return Bump(); }
  void WaitFor(long count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count; });
  }

 private:
  bool Bump() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    changed_.notify_all();
    return true;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  long count_ = 0;
};

double BridgeRoundTrips(long rounds) {
  Counter counter;
  VmServer* server = br_CreateServer("andkite0", &counter);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, vmbridge::SocketPath("andkite0").c_str(),
               sizeof(address.sun_path) - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return 0;
  std::thread peer(Echo, fd);
  counter.WaitFor(1);
  VmMessage message{1, 2, "0"};
  auto start = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    server->Send(&message);
    counter.WaitFor(i + 2);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  shutdown(fd, SHUT_RDWR);
  peer.join();
  close(fd);
  br_DeleteServer(server);
  return rounds / seconds;
}

double SocketPairRoundTrips(long rounds) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  std::thread peer(Echo, fds[1]);
  std::string frame = vmbridge::EncodeFrame(1, "0", 2);
  vmbridge::FrameReader reader;
  vmbridge::Frame reply;
  char buffer[4096];
  auto start = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    vmbridge::WriteAll(fds[0], frame);
    while (reader.Next(&reply) != vmbridge::FrameReader::Result::kFrame) {
      ssize_t n = recv(fds[0], buffer, sizeof(buffer), 0);
      if (n <= 0) return 0;
      reader.Feed(buffer, static_cast<std::size_t>(n));
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  shutdown(fds[0], SHUT_RDWR);
  peer.join();
  close(fds[0]);
  close(fds[1]);
  return rounds / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  long rounds = argc > 1 ? std::atol(argv[1]) : 20000;
  char folder[] = "/tmp/vm-bridge-bench-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  setenv("XDG_RUNTIME_DIR", folder, 1);
  double pair = SocketPairRoundTrips(rounds);
  double bridge = BridgeRoundTrips(rounds);
  std::printf("socket pair: %.0f round trips/s\n", pair);
  std::printf("bridge:      %.0f round trips/s\n", bridge);
  std::printf("ratio bridge/socket pair: %.2f\n", pair > 0 ? bridge / pair : 0.0);
  rmdir(folder);
  return 0;
}
