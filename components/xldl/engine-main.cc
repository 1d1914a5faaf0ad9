// xldl-engine: the engine's process. The engine library starts it with one end of a
// SOCK_SEQPACKET socket pair as descriptor 3, sends it tasks and their starts and stops, and
// hears back each task's state and the engine's log lines. It runs until the library closes
// its end, then ends aria2's session, which writes the control files of unfinished downloads.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "components/xldl/engine-wire.h"
#include "components/xldl/engine.h"

namespace xldl {
namespace {

constexpr int kLibrarySocket = 3;
// A running download's progress is sent this often; state changes are sent at once.
constexpr int kProgressMs = 200;
// More tasks than any caller makes: a library past this is not trusted.
constexpr std::size_t kMostTasks = 65536;

// On the process's main thread: carries the library's commands to the engine and the
// engine's states and lines back. The engine's callbacks, on its own thread, only queue a
// line or note a change and wake this thread.
class Relay {
 public:
  Relay(int socket, Engine& engine) : socket_(socket), engine_(engine) {}
  ~Relay() {
    engine_.SetChangeCallback(nullptr, nullptr);
    engine_.SetLogCallback(nullptr, nullptr);
    if (wake_ >= 0) ::close(wake_);
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // Returns when the library has gone or broke the rules.
  void Run();

 private:
  struct Task {
    std::uintptr_t engineId = 0;
    std::uint64_t command = 0;
    // What the library last heard of the task.
    TaskSnapshot sent;
    std::uint64_t sentCommand = 0;
    bool everSent = false;
  };

  void Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wake_, &one, sizeof(one));
  }
  // Takes every command that has come; false when the library has gone or broke the rules.
  bool ReadCommands();
  bool Take(const wire::Message& m);
  bool Send(const wire::Message& m) { return wire::Send(socket_, m); }
  // Sends the lines said and the states that changed since the last call; false when the
  // library cannot be reached. Sets `downloading` when a task is on its way.
  bool SendNews(bool* downloading);

  const int socket_;
  Engine& engine_;
  int wake_ = -1;
  std::map<std::uint64_t, Task> tasks_;
  std::mutex linesMutex_;
  std::deque<std::string> lines_;
};

void Relay::Run() {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return;
  engine_.SetChangeCallback([](void* relay) { static_cast<Relay*>(relay)->Wake(); }, this);
  engine_.SetLogCallback(
      [](void* context, const char* line) {
        auto* relay = static_cast<Relay*>(context);
        {
          std::lock_guard<std::mutex> lock(relay->linesMutex_);
          relay->lines_.emplace_back(line);
        }
        relay->Wake();
      },
      this);
  bool downloading = false;
  for (;;) {
    if (!SendNews(&downloading)) return;
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(fds, 2, downloading ? kProgressMs : -1) < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] ssize_t got = ::read(wake_, &count, sizeof(count));
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadCommands()) return;
  }
}

bool Relay::ReadCommands() {
  std::string bytes;
  for (;;) {
    wire::Received received = wire::Receive(socket_, &bytes);
    if (received != wire::Received::kDatagram) return received == wire::Received::kNone;
    auto message = wire::DecodeCommand(bytes);
    if (!message || !Take(*message)) {
      std::fprintf(stderr, "xldl-engine: the library sent what is not a command; ending\n");
      return false;
    }
  }
}

bool Relay::Take(const wire::Message& m) {
  auto it = tasks_.find(m.task);
  if (m.kind == wire::Kind::kCreate) {
    if (it != tasks_.end() || tasks_.size() >= kMostTasks) return false;
    tasks_[m.task].engineId = engine_.CreateTask(m.recipe);
    return true;
  }
  // A command must come after the task and count up.
  if (it == tasks_.end() || m.command <= it->second.command) return false;
  it->second.command = m.command;
  if (m.kind == wire::Kind::kStart) return engine_.StartTask(it->second.engineId);
  return engine_.StopTask(it->second.engineId);
}

bool Relay::SendNews(bool* downloading) {
  std::deque<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(linesMutex_);
    lines.swap(lines_);
  }
  wire::Message m;
  for (std::string& line : lines) {
    m.line = std::move(line);
    if (!Send(m)) return false;
  }
  *downloading = false;
  m.kind = wire::Kind::kState;
  for (auto& [id, task] : tasks_) {
    TaskSnapshot now;
    if (!engine_.Query(task.engineId, &now)) continue;
    *downloading = *downloading || now.state == kXlDownloading;
    if (task.everSent && now == task.sent && task.command == task.sentCommand) continue;
    m.task = id;
    m.command = task.command;
    m.snapshot = now;
    if (!Send(m)) return false;
    task.sent = now;
    task.sentCommand = task.command;
    task.everSent = true;
  }
  return true;
}

}  // namespace
}  // namespace xldl

int main() {
  // A library that has gone is seen as a failed send, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  int type = 0;
  socklen_t length = sizeof(type);
  if (::getsockopt(xldl::kLibrarySocket, SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
      type != SOCK_SEQPACKET) {
    std::fprintf(stderr, "xldl-engine: started by the engine library only\n");
    return 2;
  }
  xldl::Engine engine;
  engine.Start();
  xldl::Relay relay(xldl::kLibrarySocket, engine);
  relay.Run();
  return 0;
}
