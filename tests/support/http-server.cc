#include "tests/support/http-server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "store/store-server.h"

namespace lumo::test {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

// The state of one response: its own clock and count, for the per-connection limit.
struct HttpServer::ResponseState {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::uint64_t sent = 0;
  std::uint64_t dropAfter = UINT64_MAX;
};

struct HttpServer::Route {
  File file;
  std::string redirect;
  std::atomic<std::uint64_t> throttle{0};
  std::atomic<bool> held{false};
  std::atomic<bool> firstDropUsed{false};
  std::atomic<int> requests{0};
  std::atomic<std::uint64_t> bytesSent{0};
  std::mutex mutex;
  std::vector<std::string> ranges;
};

std::string PatternBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

HttpServer::HttpServer(const std::string& host)
    : server_(std::make_unique<httplib::Server>()), host_(host) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(48); };
  server_->set_keep_alive_max_count(1000);
  // Bounds how long stopping waits for an idle client that keeps its connection open.
  server_->set_keep_alive_timeout(1);
  server_->Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<Route> route;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = routes_.find(request.path);
      if (it != routes_.end()) route = it->second;
    }
    if (!route) {
      response.status = 404;
      response.set_content("not found", "text/plain");
      return;
    }
    // A HEAD request, as a client asks before it downloads, is not one the tests count.
    bool head = request.method == "HEAD";
    if (!head) ++route->requests;
    if (!head) {
      std::lock_guard<std::mutex> lock(route->mutex);
      route->ranges.push_back(request.get_header_value("Range"));
    }
    if (!route->redirect.empty()) {
      response.set_redirect(route->redirect);
      return;
    }
    if (route->file.ignoreRange) const_cast<httplib::Request&>(request).ranges.clear();
    auto state = std::make_shared<ResponseState>();
    if (route->file.endless) {
      response.set_chunked_content_provider(
          route->file.type, [this, route, state](std::size_t offset, httplib::DataSink& sink) {
            return Serve(*route, *state, offset, kChunk, &sink);
          });
      return;
    }
    if (route->file.size == 0) {
      // The content provider is never asked for zero bytes, so the response would not end.
      response.set_content(std::string(), "application/octet-stream");
      return;
    }
    if (!head && !route->firstDropUsed.exchange(true))
      state->dropAfter = route->file.dropFirstAfter;
    response.set_content_provider(
        route->file.size, route->file.type,
        [this, route, state](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return Serve(*route, *state, offset, length, &sink);
        });
  });
  port_ = store::BindWithWideBacklog(*server_, host_, 0, httplib::default_socket_options);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpServer::~HttpServer() {
  stopping_ = true;
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

bool HttpServer::Serve(Route& route, ResponseState& state, std::uint64_t offset,
                       std::uint64_t length, void* sink) {
  // A held response sends one chunk, then waits until it is released or the server stops.
  while (route.held && state.sent > 0 && !stopping_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::uint64_t limit = route.throttle;
  std::uint64_t n = std::min<std::uint64_t>(length, kChunk);
  if (limit > 0) n = std::min<std::uint64_t>(n, limit / 20 + 1);
  if (state.sent + n > state.dropAfter) return false;
  if (offset + n > route.file.dropAt) {
    if (offset >= route.file.dropAt) return false;
    n = route.file.dropAt - offset;
  }
  if (!Stream(route, offset, n, sink)) return false;
  state.sent += n;
  if (limit > 0) {
    std::this_thread::sleep_until(state.start +
                                  std::chrono::microseconds(state.sent * 1000000 / limit));
  }
  return true;
}

bool HttpServer::Stream(Route& route, std::uint64_t offset, std::uint64_t length, void* out) {
  auto& sink = *static_cast<httplib::DataSink*>(out);
  const std::string& pattern = *route.file.pattern;
  std::string buffer(length, '\0');
  for (std::uint64_t i = 0; i < length;) {
    std::uint64_t at = (offset + i) % pattern.size();
    std::uint64_t n = std::min<std::uint64_t>(length - i, pattern.size() - at);
    std::copy_n(pattern.data() + at, n, buffer.data() + i);
    i += n;
  }
  if (stopping_ || !sink.write(buffer.data(), buffer.size())) return false;
  route.bytesSent += length;
  if (route.file.lastWrite) {
    *route.file.lastWrite = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
  }
  return true;
}

std::string HttpServer::Url(const std::string& path) const {
  return "http://" + host_ + ":" + std::to_string(port_) + path;
}

void HttpServer::AddFile(const std::string& path, File file) {
  auto route = std::make_shared<Route>();
  route->throttle = file.throttle;
  route->held = file.held;
  route->file = std::move(file);
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = route;
}

void HttpServer::AddFile(const std::string& path, const std::string& body, std::uint64_t throttle) {
  File file;
  file.size = body.size();
  file.pattern = std::make_shared<const std::string>(body);
  file.throttle = throttle;
  AddFile(path, std::move(file));
}

void HttpServer::AddRedirectLoop(const std::string& path) {
  AddRedirect(path, path);
}

void HttpServer::AddRedirect(const std::string& path, const std::string& target) {
  auto route = std::make_shared<Route>();
  route->redirect = target;
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = route;
}

void HttpServer::Release(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, route] : routes_) {
    if (path.empty() || name == path) route->held = false;
  }
}

int HttpServer::Requests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = routes_.find(path);
  return it == routes_.end() ? 0 : it->second->requests.load();
}

std::uint64_t HttpServer::BytesSent(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = routes_.find(path);
  return it == routes_.end() ? 0 : it->second->bytesSent.load();
}

std::vector<std::string> HttpServer::Ranges(const std::string& path) const {
  std::shared_ptr<Route> route;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routes_.find(path);
    if (it == routes_.end()) return {};
    route = it->second;
  }
  std::lock_guard<std::mutex> lock(route->mutex);
  return route->ranges;
}

void HttpServer::ResetCounters() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, route] : routes_) {
    route->requests = 0;
    route->bytesSent = 0;
    std::lock_guard<std::mutex> routeLock(route->mutex);
    route->ranges.clear();
  }
}

std::string HttpServer::Body(const File& file) {
  std::string body(file.size, '\0');
  for (std::uint64_t i = 0; i < file.size; ++i) {
    body[i] = (*file.pattern)[i % file.pattern->size()];
  }
  return body;
}

int HttpServer::UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  socklen_t length = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace lumo::test
