#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace lumo::store {

// The file a request path names inside `root` (a canonical folder), or nothing when the path
// is malformed, climbs out with "..", names no regular file, or reaches one through a link
// that leads out of the folder. A path ending in "/" names that folder's index.html.
std::optional<std::filesystem::path> ResolvePath(const std::filesystem::path& root,
                                                 const std::string& path);

// The media type a file is served with, by its extension.
std::string ContentType(const std::filesystem::path& file);

// One "bytes=" range of a Range header against a file of `size` bytes.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
};
enum class RangeAnswer { kWhole, kPart, kUnsatisfiable };
// kWhole for a header this server does not answer in part (malformed, several ranges, another
// unit): the whole file is then the answer, as HTTP allows.
RangeAnswer ParseRange(const std::string& header, std::uint64_t size, ByteRange* range);

// Binds `server` to `host` and `port` (0: any free one) and returns the port, or -1 with errno
// set. Its listening socket gets `options` and a backlog of 128: httplib listens with five,
// which drops some of a download's eight connection requests, each then retried a second later.
int BindWithWideBacklog(httplib::Server& server, const std::string& host, int port,
                        std::function<void(int)> options);

// Serves the files of one folder over HTTP as a CDN would: lengths, single ranges, validators
// and conditional requests, so that segmented and resumed downloads work against it.
class StoreServer {
 public:
  explicit StoreServer(const std::filesystem::path& root);
  ~StoreServer();
  StoreServer(const StoreServer&) = delete;
  StoreServer& operator=(const StoreServer&) = delete;

  // Takes the port (0: any free one). False, with the reason, when it is taken or refused.
  bool Bind(const std::string& host, int port, std::string* error);
  int port() const { return port_; }
  // Serves until Stop(); called on a thread of the caller's choosing.
  bool Run();
  void Stop();

 private:
  void Handle(const httplib::Request& request, httplib::Response& response) const;

  std::filesystem::path root_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
};

}  // namespace lumo::store
