#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <glib-unix.h>
#include <glib.h>

#include "platform/file-system.h"
#include "platform/ui-loop.h"
#include "platform/window-data.h"
#include "platform/window-datagram.h"
#include "platform/window.h"

namespace lumo::platform {

namespace {

struct WindowRecord {
  std::string className;
  std::string title;
  WindowProc proc;
  int socketFd = -1;
  unsigned watchId = 0;
  std::string socketPath;
};

// A call waiting for the UI thread. Only a queued one is released when its window goes away:
// one that runs may use the sender's stack until it returns.
struct PendingSend {
  enum class State { kQueued, kRunning, kFinished };
  std::mutex mutex;
  std::condition_variable done;
  State state = State::kQueued;
  bool handled = false;
  std::function<bool()> call;
};

std::mutex registryMutex;
std::map<WindowHandle, std::shared_ptr<WindowRecord>> windows;
std::multimap<WindowHandle, std::shared_ptr<PendingSend>> pendingSends;
WindowHandle nextHandle = 1;

std::shared_ptr<WindowRecord> FindRecord(WindowHandle window) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = windows.find(window);
  return it == windows.end() ? nullptr : it->second;
}

// Windows of other processes are reached through one datagram socket per top-level window
// that takes cross-process messages, in the user's private runtime folder, named after the
// window's class and title.
std::string SocketPathFor(const std::string& className, const std::string& title) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return {};
  // FNV-1a keeps the name short enough for sockaddr_un whatever the title is.
  std::uint64_t hash = 1469598103934665603ull;
  for (char c : className + '\n' + title) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char name[40];
  std::snprintf(name, sizeof(name), "/lumo-window-%016llx", static_cast<unsigned long long>(hash));
  std::string path = folder + name;
  return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a live process listens on `path`; a socket file left by a crash refuses.
bool SocketIsLive(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) return false;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool live = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return live;
}

void ReportToStderr(const std::string& text) {
  std::fprintf(stderr, "lumo: %s\n", text.c_str());
}

// UI thread only, like the reports.
std::function<void(const std::string&)> dropReport = ReportToStderr;
std::chrono::steady_clock::time_point lastReport;
unsigned long long dropped = 0;

// One line for the first drop, then at most one per interval with the count, so a flood of
// datagrams cannot flood the log.
void ReportDropped(const std::string& what) {
  constexpr auto kInterval = std::chrono::seconds(10);
  ++dropped;
  auto now = std::chrono::steady_clock::now();
  if (lastReport.time_since_epoch().count() != 0 && now - lastReport < kInterval) return;
  dropReport("window channel dropped " + std::to_string(dropped) +
             " message(s) from other processes; last: " + what);
  lastReport = now;
  dropped = 0;
}

// Reads one datagram with the sender's credentials, which the kernel fills in because the
// socket has SO_PASSCRED. False when nothing is left to read.
bool ReceiveDatagram(int fd, std::string* bytes, uid_t* sender) {
  // Only the UI thread reads datagrams, so one buffer serves every window; it holds the
  // largest data message and one byte more, to see one that is longer.
  static std::vector<char> buffer(std::max(kMaxWindowDatagram, kMaxWindowDataDatagram) + 1);
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  iovec data{buffer.data(), buffer.size()};
  msghdr header{};
  header.msg_iov = &data;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof(control);
  ssize_t n = recvmsg(fd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  if (n < 0) return false;
  // A datagram cut short by the buffer is longer than any valid one: make it fail to parse.
  bytes->assign(buffer.data(),
                (header.msg_flags & MSG_TRUNC) ? buffer.size() : static_cast<size_t>(n));
  *sender = static_cast<uid_t>(-1);
  for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials;
      std::memcpy(&credentials, CMSG_DATA(c), sizeof(credentials));
      *sender = credentials.uid;
    }
  }
  return true;
}

// Called on the UI thread when datagrams arrive for one of our windows.
gboolean OnDatagram(gint fd, GIOCondition, gpointer data) {
  // A bounded batch per wake-up: a flood must not keep the UI thread here.
  constexpr int kBatch = 64;
  auto window = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(data));
  std::string bytes;
  uid_t sender;
  for (int i = 0; i < kBatch && ReceiveDatagram(fd, &bytes, &sender); ++i) {
    WindowDatagram datagram;
    auto record = FindRecord(window);
    if (!record) break;
    if (sender != getuid()) {
      ReportDropped("a datagram from user " + std::to_string(static_cast<long>(sender)));
    } else if (DeliverWindowData(window, bytes.data(), bytes.size())) {
      continue;
    } else if (!ParseWindowDatagram(bytes, &datagram)) {
      ReportDropped("a malformed datagram of " + std::to_string(bytes.size()) + " bytes");
    } else if (datagram.className != record->className || datagram.title != record->title ||
               !IsCrossProcessMessage(record->className, record->title, datagram.msg)) {
      ReportDropped("message " + std::to_string(datagram.msg) + " for \"" + datagram.className +
                    "\" \"" + datagram.title + "\"");
    } else {
      PostWindowMessage(window, datagram.msg, 0, 0);
    }
  }
  return G_SOURCE_CONTINUE;
}

void Unbind(WindowRecord* record) {
  if (record->watchId) g_source_remove(record->watchId);
  if (record->socketFd >= 0) close(record->socketFd);
  if (!record->socketPath.empty()) unlink(record->socketPath.c_str());
  record->watchId = 0;
  record->socketFd = -1;
  record->socketPath.clear();
}

void Bind(WindowHandle window, WindowRecord* record) {
  if (!TakesCrossProcessMessages(record->className, record->title)) return;
  std::string path = SocketPathFor(record->className, record->title);
  sockaddr_un address;
  if (!FillAddress(path, &address)) return;
  // Another live instance keeps its name; a stale file from a crash is replaced.
  if (SocketIsLive(path)) return;
  unlink(path.c_str());
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  int on = 1;
  // The runtime folder is already closed to others; the socket's own mode and the sender's
  // credentials guard it should that folder ever be opened up.
  if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      chmod(path.c_str(), 0600) != 0) {
    close(fd);
    return;
  }
  record->socketFd = fd;
  record->socketPath = path;
  record->watchId = g_unix_fd_add(fd, G_IO_IN, OnDatagram,
                                  reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(window)));
}

void Deliver(WindowHandle window, std::uint32_t msg, WParam wParam, LParam lParam) {
  if (auto record = FindRecord(window)) record->proc(msg, wParam, lParam);
}

// UI thread: runs a pending call unless its window went away first, then wakes its sender.
void RunPending(PendingSend& pending, WindowHandle window) {
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    if (pending.state != PendingSend::State::kQueued) return;
    pending.state = PendingSend::State::kRunning;
  }
  bool handled = FindRecord(window) && pending.call();
  std::lock_guard<std::mutex> lock(pending.mutex);
  pending.handled = handled;
  pending.state = PendingSend::State::kFinished;
  pending.done.notify_all();
}

}  // namespace

WindowHandle CreateMessageWindow(const std::string& className, const std::string& title,
                                 WindowProc proc) {
  auto record = std::make_shared<WindowRecord>();
  record->className = className;
  record->title = title;
  record->proc = std::move(proc);
  WindowHandle handle;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    handle = nextHandle++;
    windows[handle] = record;
  }
  Bind(handle, record.get());
  return handle;
}

void SetMessageWindowTitle(WindowHandle window, const std::string& title) {
  auto record = FindRecord(window);
  if (!record || record->title == title) return;
  Unbind(record.get());
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    record->title = title;
  }
  Bind(window, record.get());
}

void DestroyMessageWindow(WindowHandle window) {
  std::shared_ptr<WindowRecord> record;
  std::vector<std::shared_ptr<PendingSend>> released;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = windows.find(window);
    if (it == windows.end()) return;
    record = it->second;
    windows.erase(it);
    auto range = pendingSends.equal_range(window);
    for (auto p = range.first; p != range.second; ++p) released.push_back(p->second);
    pendingSends.erase(range.first, range.second);
  }
  Unbind(record.get());
  // Senders blocked on this window would otherwise wait for a loop that may never run again.
  for (auto& pending : released) {
    std::lock_guard<std::mutex> lock(pending->mutex);
    if (pending->state != PendingSend::State::kQueued) continue;
    pending->state = PendingSend::State::kFinished;
    pending->done.notify_all();
  }
}

bool IsMessageWindow(WindowHandle window) {
  return FindRecord(window) != nullptr;
}

bool PostWindowMessage(WindowHandle window, std::uint32_t msg, WParam wParam, LParam lParam) {
  if (!IsMessageWindow(window)) return false;
  InvokeOnUiThread([=] { Deliver(window, msg, wParam, lParam); });
  return true;
}

bool SendWindowMessage(WindowHandle window, std::uint32_t msg, WParam wParam, LParam lParam) {
  return SendWindowCall(window, [=] {
    auto record = FindRecord(window);
    return record && record->proc(msg, wParam, lParam);
  });
}

bool SendWindowCall(WindowHandle window, std::function<bool()> call) {
  if (IsUiThread()) return IsMessageWindow(window) && call();
  auto pending = std::make_shared<PendingSend>();
  pending->call = std::move(call);
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (!windows.count(window)) return false;
    pendingSends.emplace(window, pending);
  }
  InvokeOnUiThread([pending, window] { RunPending(*pending, window); });
  bool handled;
  {
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->state == PendingSend::State::kFinished; });
    handled = pending->handled;
  }
  std::lock_guard<std::mutex> lock(registryMutex);
  auto range = pendingSends.equal_range(window);
  for (auto p = range.first; p != range.second; ++p) {
    if (p->second == pending) {
      pendingSends.erase(p);
      break;
    }
  }
  return handled;
}

bool FindTopLevelWindow(const std::string& className, const std::string& title) {
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    for (auto& [handle, record] : windows)
      if (record->className == className && record->title == title) return true;
  }
  return SocketIsLive(SocketPathFor(className, title));
}

bool PostToTopLevelWindow(const std::string& className, const std::string& title, std::uint32_t msg,
                          WParam wParam, LParam lParam) {
  WindowHandle local = 0;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    for (auto& [handle, record] : windows)
      if (record->className == className && record->title == title) local = handle;
  }
  if (local) return PostWindowMessage(local, msg, wParam, lParam);

  // Another process gets only the ids meant for it, and never the parameters.
  if (!IsCrossProcessMessage(className, title, msg)) return false;
  return SendWindowDatagram(className, title, FormatWindowDatagram({className, title, msg}));
}

void SetWindowChannelReport(std::function<void(const std::string&)> report) {
  dropReport = report ? std::move(report) : ReportToStderr;
  lastReport = {};
  dropped = 0;
}

bool SendWindowDatagram(const std::string& className, const std::string& title,
                        const std::string& datagram) {
  sockaddr_un address;
  if (!FillAddress(SocketPathFor(className, title), &address)) return false;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // A window whose queue is full is not waited for: a flood there must not hang the sender.
  bool sent = sendto(fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)) == static_cast<ssize_t>(datagram.size());
  close(fd);
  return sent;
}

}  // namespace lumo::platform
