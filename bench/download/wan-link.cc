#include "bench/download/wan-link.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace lumo::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kDevice = "lwan0";
// What a router holds before it drops: 50 ms of traffic at the link's rate.
constexpr auto kBuffer = std::chrono::milliseconds(50);

bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool EnterNamespace(const std::string& name) {
  int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool entered = setns(fd, CLONE_NEWNET) == 0;
  close(fd);
  return entered;
}

// A tunnel device in the current namespace that carries bare IP packets.
int OpenTunnel() {
  int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  ifreq request{};
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(request.ifr_name, kDevice, IFNAMSIZ - 1);
  if (ioctl(fd, TUNSETIFF, &request) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct Packet {
  Clock::time_point due;
  std::string bytes;
};

// One direction of the link: a serialising queue at the link's rate, then the delay.
struct Direction {
  int in = -1;
  int out = -1;
  std::deque<Packet> queue;
  Clock::time_point busyUntil;

  void Receive(Clock::time_point now, Clock::duration delay, std::uint64_t bitsPerSecond) {
    char buffer[65536];
    for (;;) {
      ssize_t n = read(in, buffer, sizeof(buffer));
      if (n <= 0) return;
      auto sending = std::chrono::nanoseconds(static_cast<std::int64_t>(n) * 8 * 1000000000 /
                                              static_cast<std::int64_t>(bitsPerSecond));
      Clock::time_point departure = std::max(now, busyUntil) + sending;
      if (departure - now > kBuffer) continue;
      busyUntil = departure;
      queue.push_back({departure + delay, std::string(buffer, n)});
    }
  }
  void Send(Clock::time_point now) {
    while (!queue.empty() && queue.front().due <= now) {
      if (write(out, queue.front().bytes.data(), queue.front().bytes.size()) < 0 &&
          errno == EAGAIN) {
        return;
      }
      queue.pop_front();
    }
  }
};

[[noreturn]] void Forward(int client, int server, Clock::duration delay,
                          std::uint64_t bitsPerSecond) {
  Direction down{server, client, {}, {}};
  Direction up{client, server, {}, {}};
  for (;;) {
    Clock::time_point now = Clock::now();
    down.Send(now);
    up.Send(now);
    Clock::time_point next = Clock::time_point::max();
    for (Direction* d : {&down, &up}) {
      if (!d->queue.empty()) next = std::min(next, d->queue.front().due);
    }
    pollfd fds[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    timespec wait{};
    timespec* timeout = nullptr;
    if (next != Clock::time_point::max()) {
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count();
      ns = std::max<std::int64_t>(ns, 0);
      wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      timeout = &wait;
    }
    ppoll(fds, 2, timeout, nullptr);
    now = Clock::now();
    if (fds[1].revents & POLLIN) down.Receive(now, delay, bitsPerSecond);
    if (fds[0].revents & POLLIN) up.Receive(now, delay, bitsPerSecond);
  }
}

}  // namespace

WanLink::WanLink(std::chrono::milliseconds roundTrip, std::uint64_t bitsPerSecond)
    : roundTrip_(roundTrip),
      bitsPerSecond_(bitsPerSecond),
      client_("lumo-bench-c" + std::to_string(getpid())),
      server_("lumo-bench-s" + std::to_string(getpid())) {}

WanLink::~WanLink() {
  if (forwarder_ > 0) {
    kill(forwarder_, SIGKILL);
    waitpid(forwarder_, nullptr, 0);
  }
  if (made_) {
    Run({"ip", "netns", "del", client_});
    Run({"ip", "netns", "del", server_});
  }
}

bool WanLink::Up(std::string* error) {
  if (!Run({"ip", "netns", "add", client_}) || !Run({"ip", "netns", "add", server_})) {
    Run({"ip", "netns", "del", client_});
    *error = "network namespaces cannot be made here (needs root and ip)";
    return false;
  }
  made_ = true;
  int ready[2];
  if (pipe(ready) != 0) return false;
  forwarder_ = fork();
  if (forwarder_ == 0) {
    close(ready[0]);
    int client = EnterNamespace(client_) ? OpenTunnel() : -1;
    int server = EnterNamespace(server_) ? OpenTunnel() : -1;
    char ok = client >= 0 && server >= 0;
    if (write(ready[1], &ok, 1) != 1 || !ok) _exit(1);
    close(ready[1]);
    Forward(client, server, roundTrip_ / 2, bitsPerSecond_);
  }
  close(ready[1]);
  char ok = 0;
  bool started = read(ready[0], &ok, 1) == 1 && ok;
  close(ready[0]);
  if (!started) {
    *error = "no tunnel devices (/dev/net/tun)";
    return false;
  }
  auto configure = [&](const std::string& ns, const char* self, const char* peer) {
    return Run({"ip", "-n", ns, "addr", "add", self, "peer", peer, "dev", kDevice}) &&
           Run({"ip", "-n", ns, "link", "set", kDevice, "up"}) &&
           Run({"ip", "-n", ns, "link", "set", "lo", "up"});
  };
  if (!configure(client_, kClientAddress, kServerAddress) ||
      !configure(server_, kServerAddress, kClientAddress)) {
    *error = "the tunnel devices cannot be configured";
    return false;
  }
  return true;
}

bool WanLink::EnterClient() const {
  return EnterNamespace(client_);
}

bool WanLink::EnterServer() const {
  return EnterNamespace(server_);
}

}  // namespace lumo::bench
