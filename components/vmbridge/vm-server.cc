#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "app/rate-limit.h"
#include "components/vmbridge/vm-bridge.h"
#include "components/vmbridge/vm-frame.h"

namespace vmbridge {

namespace {

// A write that cannot finish in this time means the player has stopped reading.
constexpr int kSendTimeoutSeconds = 3;

void Trace(const char* format, const std::string& detail) {
  std::fprintf(stderr, "VmBridge: ");
  std::fprintf(stderr, format, detail.c_str());
  std::fprintf(stderr, "\n");
}

int Listen(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  // A socket file left by a crashed server would make bind fail; only this user can write
  // into the runtime folder, so whatever sits at our name is ours to replace.
  unlink(path.c_str());
  // The mode is set on the file, not through the process-wide umask, which other threads
  // share; between bind and chmod the private runtime folder keeps others out.
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            chmod(path.c_str(), 0600) == 0 && listen(fd, 4) == 0;
  if (!ok) {
    Trace("cannot listen on %s", path + ": " + std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

class SocketServer final : public VmServer {
 public:
  SocketServer(const std::string& name, ConnetEvent* events) : events_(events) {
    path_ = SocketPath(name);
    if (path_.empty()) Trace("no socket path for the server name \"%s\"", name);
    if (!path_.empty()) listenFd_ = Listen(path_);
    struct stat file {};
    if (listenFd_ >= 0 && stat(path_.c_str(), &file) == 0) socketFile_ = {file.st_dev, file.st_ino};
    if (pipe2(wakeFds_, O_CLOEXEC) != 0) wakeFds_[0] = wakeFds_[1] = -1;
    if (listenFd_ >= 0 && wakeFds_[0] >= 0) thread_ = std::thread([this] { Run(); });
  }

  bool IsConnected() const override {
    std::lock_guard<std::mutex> lock(peerMutex_);
    return peerFd_ >= 0;
  }

  bool Send(const VmMessage* message) override {
    if (!message || (message->length && !message->data)) return false;
    if (message->length > kMaxFrameData) return false;
    std::string frame = EncodeFrame(message->type, message->data, message->length);
    std::lock_guard<std::mutex> lock(peerMutex_);
    if (peerFd_ < 0) return false;
    if (WriteAll(peerFd_, frame)) return true;
    // A half-written frame leaves the stream unusable: the bridge thread sees the shutdown
    // and reports the player gone.
    Trace("write to the player failed (%s); dropping it", std::strerror(errno));
    writeFailed_ = true;
    shutdown(peerFd_, SHUT_RDWR);
    return false;
  }

  // Ends the bridge thread, after the callback in progress if there is one; none starts
  // once closing has begun.
  void Close() {
    closing_ = true;
    if (wakeFds_[1] >= 0) (void)!write(wakeFds_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
  }

  ~SocketServer() {
    DropPeer();
    if (listenFd_ >= 0) {
      close(listenFd_);
      RemoveSocketFile();
    }
    for (int fd : wakeFds_)
      if (fd >= 0) close(fd);
  }

 private:
  void Run();
  void Accept();
  // False when the peer is gone.
  bool ReadPeer();
  void DropPeer();
  void RemoveSocketFile();

  // Runs a callback unless closing has begun.
  template <typename Fn>
  void Callback(Fn fn) {
    if (!closing_ && events_) fn();
  }

  ConnetEvent* events_;
  std::string path_;
  int listenFd_ = -1;
  lumo::RateLimit refusalReports_{5, 0.2};
  unsigned long refusals_ = 0;
  std::pair<dev_t, ino_t> socketFile_{0, 0};
  int wakeFds_[2] = {-1, -1};
  mutable std::mutex peerMutex_;
  int peerFd_ = -1;  // written only by the bridge thread, under peerMutex_
  FrameReader reader_;
  std::atomic<bool> writeFailed_{false};
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

void SocketServer::Run() {
  while (!closing_) {
    int peer = peerFd_;
    pollfd fds[3] = {{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}, {peer, POLLIN, 0}};
    int n = poll(fds, peer >= 0 ? 3 : 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[0].revents & POLLIN)) break;
    if (peer >= 0 && fds[2].revents && !ReadPeer()) continue;
    if (fds[1].revents & POLLIN) Accept();
  }
}

void SocketServer::Accept() {
  int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ucred credentials{};
  socklen_t size = sizeof(credentials);
  bool sameUser = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
                  credentials.uid == getuid();
  if (!sameUser || peerFd_ >= 0) {
    // One player at a time; a second one started by hand is turned away. A peer that keeps
    // knocking must not fill the log: a few lines, then one now and then with the count.
    ++refusals_;
    if (refusalReports_.Admit()) {
      Trace("%s", (sameUser ? "a player is already connected; refusing another"
                            : "refusing a peer of another user") +
                      std::string(" (") + std::to_string(refusals_) +
                      " refused since the last line)");
      refusals_ = 0;
    }
    close(fd);
    return;
  }
  timeval timeout{kSendTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
  {
    std::lock_guard<std::mutex> lock(peerMutex_);
    peerFd_ = fd;
  }
  reader_ = FrameReader();
  writeFailed_ = false;
  Callback([this] { events_->OnConnected(true); });
}

bool SocketServer::ReadPeer() {
  char buffer[4096];
  ssize_t n = recv(peerFd_, buffer, sizeof(buffer), 0);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) {
    bool truncated = reader_.MidFrame();
    if (truncated) Trace("%s", "the player went away in the middle of a frame");
    bool orderly = !truncated && !writeFailed_;
    DropPeer();
    Callback([this, orderly] { events_->OnDisconnected(orderly); });
    return false;
  }
  reader_.Feed(buffer, static_cast<std::size_t>(n));
  Frame frame;
  for (;;) {
    FrameReader::Result result = reader_.Next(&frame);
    if (result == FrameReader::Result::kNeedMore) return true;
    if (result == FrameReader::Result::kBad) {
      Trace("dropping the player: %s", reader_.error());
      DropPeer();
      Callback([this] { events_->OnDisconnected(false); });
      return false;
    }
    // The receiver reads up to a NUL: make sure there is one even if the sender sent none.
    std::string text = frame.data + '\0';
    VmMessage message{frame.type, static_cast<std::uint32_t>(text.size()), text.c_str()};
    Callback([this, &message] { events_->OnMessage(&message); });
  }
}

void SocketServer::DropPeer() {
  std::lock_guard<std::mutex> lock(peerMutex_);
  if (peerFd_ >= 0) close(peerFd_);
  peerFd_ = -1;
}

void SocketServer::RemoveSocketFile() {
  // Only our own socket file: a later server may have replaced it already.
  struct stat onDisk {};
  if (stat(path_.c_str(), &onDisk) == 0 && onDisk.st_dev == socketFile_.first &&
      onDisk.st_ino == socketFile_.second)
    unlink(path_.c_str());
}

}  // namespace

}  // namespace vmbridge

VmServer* br_CreateServer(const char* name, ConnetEvent* events) {
  return new vmbridge::SocketServer(name ? name : "", events);
}

int br_DeleteServer(VmServer* server) {
  auto* socketServer = static_cast<vmbridge::SocketServer*>(server);
  if (!socketServer) return 0;
  socketServer->Close();
  delete socketServer;
  return 0;
}
