#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <glib-unix.h>
#include <glib.h>

#include "platform/file-system.h"
#include "platform/ui-loop.h"
#include "platform/window-data.h"
#include "platform/window.h"

namespace lumo::platform {

namespace {

// Windows of other processes are reached through one datagram socket per top-level window,
// in the user's private runtime folder, named after the window's class and title.
constexpr char kDatagramMagic[] = "LUMOWIN1";

struct WindowRecord {
  std::string className;
  std::string title;
  WindowProc proc;
  int socketFd = -1;
  unsigned watchId = 0;
  std::string socketPath;
};

struct PendingSend {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool handled = false;
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

bool ParseDatagram(const std::string& data, std::string* className, std::string* title,
                   std::uint32_t* msg, WParam* wParam, LParam* lParam) {
  std::istringstream in(data);
  std::string magic, numbers;
  if (!std::getline(in, magic) || magic != kDatagramMagic) return false;
  if (!std::getline(in, *className) || !std::getline(in, *title)) return false;
  if (!std::getline(in, numbers)) return false;
  unsigned long long m = 0, w = 0;
  long long l = 0;
  if (std::sscanf(numbers.c_str(), "%llu %llu %lld", &m, &w, &l) != 3) return false;
  *msg = static_cast<std::uint32_t>(m);
  *wParam = static_cast<WParam>(w);
  *lParam = static_cast<LParam>(l);
  return true;
}

// Called on the UI thread when a datagram arrives for one of our windows.
gboolean OnDatagram(gint fd, GIOCondition, gpointer data) {
  auto window = static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(data));
  // Only the UI thread reads datagrams, so one buffer serves every window.
  static std::vector<char> buffer(kMaxWindowDatagram);
  for (;;) {
    ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n <= 0) break;
    if (DeliverWindowData(window, buffer.data(), static_cast<size_t>(n))) continue;
    std::string className, title;
    std::uint32_t msg = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    if (!ParseDatagram(std::string(buffer.data(), static_cast<size_t>(n)), &className, &title, &msg,
                       &wParam, &lParam))
      continue;
    auto record = FindRecord(window);
    if (record && record->className == className && record->title == title)
      PostWindowMessage(window, msg, wParam, lParam);
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
  std::string path = SocketPathFor(record->className, record->title);
  sockaddr_un address;
  if (!FillAddress(path, &address)) return;
  // Another live instance keeps its name; a stale file from a crash is replaced.
  if (SocketIsLive(path)) return;
  unlink(path.c_str());
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
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
    pending->finished = true;
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
  if (IsUiThread()) {
    auto record = FindRecord(window);
    return record && record->proc(msg, wParam, lParam);
  }
  auto pending = std::make_shared<PendingSend>();
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (!windows.count(window)) return false;
    pendingSends.emplace(window, pending);
  }
  InvokeOnUiThread([=] {
    {
      std::lock_guard<std::mutex> lock(pending->mutex);
      if (pending->finished) return;  // the window went away first
    }
    auto record = FindRecord(window);
    bool handled = record && record->proc(msg, wParam, lParam);
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->handled = handled;
    pending->finished = true;
    pending->done.notify_all();
  });
  bool handled;
  {
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->finished; });
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

  sockaddr_un address;
  if (!FillAddress(SocketPathFor(className, title), &address)) return false;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  std::string datagram = std::string(kDatagramMagic) + "\n" + className + "\n" + title + "\n" +
                         std::to_string(msg) + " " + std::to_string(wParam) + " " +
                         std::to_string(lParam) + "\n";
  bool sent = sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)) == static_cast<ssize_t>(datagram.size());
  close(fd);
  return sent;
}

bool SendWindowDatagram(const std::string& className, const std::string& title,
                        const std::string& datagram) {
  sockaddr_un address;
  if (!FillAddress(SocketPathFor(className, title), &address)) return false;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool sent = sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)) == static_cast<ssize_t>(datagram.size());
  close(fd);
  return sent;
}

}  // namespace lumo::platform
