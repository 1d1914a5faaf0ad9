#include "components/vmbridge/vm-bridge.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "components/vmbridge/vm-frame.h"
#include "platform/file-system.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/vm/vm-test-support.h"

namespace lumo {
namespace {

using test::RawPeer;
using test::SandboxHome;
using test::WaitFor;

// Records every callback as text; counts the ones that arrive after the server was deleted.
class RecordingEvents final : public ConnetEvent {
 public:
  bool OnConnected(bool result) override {
    return Add(std::string("connected:") + (result ? "1" : "0"));
  }
  bool OnDisconnected(bool result) override {
    return Add(std::string("disconnected:") + (result ? "1" : "0"));
  }
  bool OnMessage(const VmMessage* message) override {
    return Add("message:" + std::to_string(message->type) + ":" + message->data);
  }
  int Count(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
  }
  bool WaitFor(const std::string& event, int count = 1) {
    return test::WaitFor([&] { return Count(event) >= count; });
  }
  std::atomic<bool> deleted{false};
  std::atomic<int> afterDelete{0};

 private:
  bool Add(std::string event) {
    if (deleted) ++afterDelete;
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
    return true;
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

bool Send(VmServer* server, std::uint32_t type, const char* data, std::uint32_t length) {
  VmMessage message{type, length, data};
  return server->Send(&message);
}

std::string Header(std::uint32_t magic, std::uint32_t type, std::uint32_t length) {
  std::string frame = vmbridge::EncodeFrame(type, "", 0);
  std::memcpy(frame.data(), &magic, 4);
  std::memcpy(frame.data() + 8, &length, 4);
  return frame;
}

TEST(VmBridge, DropsPeersThatSendGarbageOversizedOrTruncatedFrames) {
  SandboxHome home;
  RecordingEvents events;
  VmServer* server = br_CreateServer("andkite0", &events);
  const std::string bad[] = {
      "GET / HTTP/1.1\r\n\r\n",
      Header(vmbridge::kFrameMagic, 1, vmbridge::kMaxFrameData + 1),
      Header(vmbridge::kFrameMagic, 1, 0xffffffffu),
  };
  int dropped = 0;
  for (const std::string& bytes : bad) {
    RawPeer peer;
    ASSERT_TRUE(events.WaitFor("connected:1", dropped + 1));
    peer.SendBytes(bytes);
    EXPECT_TRUE(peer.WaitClosed())
        << "the bridge keeps a peer that sent " << bytes.size() << " bad bytes";
    EXPECT_TRUE(events.WaitFor("disconnected:0", ++dropped));
  }
  {
    // Half a frame, then the peer goes away.
    RawPeer peer;
    ASSERT_TRUE(events.WaitFor("connected:1", dropped + 1));
    std::string frame = vmbridge::EncodeFrame(1, "/tmp/game.apk", 14);
    peer.SendBytes(frame.substr(0, frame.size() - 5));
    peer.Close();
    EXPECT_TRUE(events.WaitFor("disconnected:0", ++dropped));
  }
  EXPECT_EQ(events.Count("disconnected:1"), 0);
  // The bridge is still good for the next player.
  RawPeer good;
  ASSERT_TRUE(events.WaitFor("connected:1", dropped + 1));
  good.SendText(4, "0");
  EXPECT_TRUE(events.WaitFor("message:4:0"));
  br_DeleteServer(server);
}

TEST(VmBridge, TurnsAwayASecondPeerAndNeverBlocksOnOneThatStopsReading) {
  SandboxHome home;
  RecordingEvents events;
  VmServer* server = br_CreateServer("andkite0", &events);
  RawPeer first;
  ASSERT_TRUE(events.WaitFor("connected:1"));
  // A peer that keeps knocking is turned away every time, and the log says so only a few times.
  testing::internal::CaptureStderr();
  for (int i = 0; i < 200; ++i) {
    RawPeer second;
    EXPECT_TRUE(second.WaitClosed());
  }
  std::string said = testing::internal::GetCapturedStderr();
  std::size_t lines = 0;
  for (std::size_t at = said.find("refusing another"); at != std::string::npos;
       at = said.find("refusing another", at + 1))
    ++lines;
  EXPECT_GE(lines, 1u);
  EXPECT_LE(lines, 20u);
  EXPECT_EQ(events.Count("connected:1"), 1);
  first.SendText(4, "0");
  EXPECT_TRUE(events.WaitFor("message:4:0"));

  // `first` never reads: once the socket's buffer is full a send gives up instead of hanging,
  // and the peer is dropped.
  std::string big(vmbridge::kMaxFrameData - 1, 'x');
  bool failed = false;
  for (int i = 0; i < 10000 && !failed; ++i) failed = !Send(server, 6, big.c_str(), big.size() + 1);
  EXPECT_TRUE(failed);
  EXPECT_TRUE(events.WaitFor("disconnected:0"));
  br_DeleteServer(server);
}

TEST(VmBridge, ReplacesAStaleSocketFileAndSendsNoCallbackAfterDelete) {
  SandboxHome home;
  std::string path = vmbridge::SocketPath("andkite0");
  ASSERT_FALSE(path.empty());
  {
    // What a crashed server leaves: a bound socket file that nobody listens on.
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);
    ASSERT_TRUE(platform::PathExists(path));
    EXPECT_FALSE(RawPeer().connected());
  }
  RecordingEvents events;
  VmServer* server = br_CreateServer("andkite0", &events);
  RawPeer peer;
  ASSERT_TRUE(peer.connected());
  ASSERT_TRUE(events.WaitFor("connected:1"));

  // A peer that talks without pause while the server goes away.
  std::atomic<bool> stop{false};
  std::thread talker([&] {
    while (!stop && peer.SendText(5, "0")) {
    }
  });
  ASSERT_TRUE(events.WaitFor("message:5:0", 50));
  br_DeleteServer(server);
  events.deleted = true;
  EXPECT_TRUE(test::WaitFor([&] { return !platform::PathExists(path); }));
  EXPECT_FALSE(RawPeer().connected());
  stop = true;
  talker.join();
  EXPECT_EQ(events.afterDelete, 0);

  // Names that are not plain file names get no socket, and the server still answers calls.
  VmServer* odd = br_CreateServer("../escape", &events);
  EXPECT_FALSE(odd->IsConnected());
  EXPECT_FALSE(Send(odd, 5, "0", 2));
  br_DeleteServer(odd);
}

// A sink whose message callback hangs until released, as one blocked on a window would.
class StuckEvents final : public ConnetEvent {
 public:
  bool OnConnected(bool) override { return true; }
  bool OnDisconnected(bool) override { return true; }
  bool OnMessage(const VmMessage*) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++messages_;
    released_.wait(lock, [this] { return release_; });
    return true;
  }
  int messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    release_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  int messages_ = 0;
  bool release_ = false;
};

TEST(VmBridge, DeletingTheServerWaitsForTheCallbackInProgressAndStartsNoOther) {
  SandboxHome home;
  StuckEvents events;
  VmServer* server = br_CreateServer("andkite0", &events);
  RawPeer peer;
  peer.SendText(1, "0");
  peer.SendText(1, "0");
  ASSERT_TRUE(WaitFor([&] { return events.messages() == 1; }));
  auto deleted = std::async(std::launch::async, [server] { br_DeleteServer(server); });
  EXPECT_EQ(deleted.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "the sink was let go while its callback ran";
  events.Release();
  deleted.get();
  EXPECT_EQ(events.messages(), 1);
  EXPECT_FALSE(platform::PathExists(vmbridge::SocketPath("andkite0")));
}

}  // namespace
}  // namespace lumo
