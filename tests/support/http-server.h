#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace lumo::test {

// A real HTTP server on 127.0.0.1 for tests and benchmarks. Every file answers Range
// requests; each can be throttled per connection, broken on purpose or held back. What the
// clients asked for is counted so that tests can check it.
class HttpServer {
 public:
  struct File {
    std::uint64_t size = 0;
    // The body: `pattern` repeated until `size` bytes (a whole file when it is that long).
    std::shared_ptr<const std::string> pattern;
    // Bytes per second per connection; 0 is as fast as it goes.
    std::uint64_t throttle = 0;
    // Never send the bytes from this offset on: the connection is closed there.
    std::uint64_t dropAt = UINT64_MAX;
    // Only the first response drops, after this many bytes; later ones are whole.
    std::uint64_t dropFirstAfter = UINT64_MAX;
    // Responses stop after their first chunk until Release() is called.
    bool held = false;
    // Where each write of the body notes its time (steady clock, nanoseconds), if anywhere.
    std::atomic<std::int64_t>* lastWrite = nullptr;
    // Every request gets the whole body with status 200, as from a server that ignores Range.
    bool ignoreRange = false;
    // The body announces no length and never ends.
    bool endless = false;
    std::string type = "application/octet-stream";
  };

  // On a loopback address of its own choice, so that tests can have two origins.
  explicit HttpServer(const std::string& host = "127.0.0.1");
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // "http://<host>:<port>" + path.
  std::string Url(const std::string& path) const;
  int port() const { return port_; }

  void AddFile(const std::string& path, File file);
  void AddFile(const std::string& path, const std::string& body, std::uint64_t throttle = 0);
  // A path that redirects to itself for ever.
  void AddRedirectLoop(const std::string& path);
  void AddRedirect(const std::string& path, const std::string& target);
  // Lets held responses go on, for one path or ("") for all.
  void Release(const std::string& path = "");

  int Requests(const std::string& path) const;
  std::uint64_t BytesSent(const std::string& path) const;
  // The Range headers of the requests for the path, "" for a request without one.
  std::vector<std::string> Ranges(const std::string& path) const;
  void ResetCounters();

  // The body a file serves, for comparison (only for files small enough to hold).
  static std::string Body(const File& file);
  // A port on 127.0.0.1 with nothing listening.
  static int UnusedPort();

 private:
  struct Route;
  struct ResponseState;
  bool Serve(Route& route, ResponseState& state, std::uint64_t offset, std::uint64_t length,
             void* sink);
  bool Stream(Route& route, std::uint64_t offset, std::uint64_t length, void* sink);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::string host_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Route>> routes_;
};

// Deterministic bytes that tell one offset from another.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 1);

}  // namespace lumo::test
