#include "store/store-server.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/socket.h>
#include <vector>

#include <httplib.h>

namespace lumo::store {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxPathChars = 1024;
constexpr std::size_t kChunk = std::size_t{64} * 1024;
// Lumo runs up to five downloads of eight connections each, and httplib gives every open
// keep-alive connection a thread of its own.
constexpr std::size_t kThreads = 64;

bool SafeSegment(const std::string& segment) {
  if (segment == "." || segment == "..") return false;
  return std::none_of(segment.begin(), segment.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == 0x7f;
  });
}

// The request path as a path below the root, or nothing when a segment is unsafe. An empty
// segment is allowed only at the end ("/app/"), so "//etc/passwd" is refused too.
std::optional<fs::path> RelativePath(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.size() > kMaxPathChars) return std::nullopt;
  fs::path relative;
  std::size_t start = 1;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    if (segment.empty() || !SafeSegment(segment)) return std::nullopt;
    relative /= segment;
    start = end + 1;
  }
  if (path.back() == '/') relative /= "index.html";
  return relative;
}

std::string HttpDate(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof(text), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

std::optional<std::time_t> ParseHttpDate(const std::string& text) {
  std::tm parts{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  if (!end || *end != '\0') return std::nullopt;
  return timegm(&parts);
}

struct FileFacts {
  std::uint64_t size = 0;
  std::time_t modified = 0;
  std::string etag;
  std::string lastModified;
};

bool Stat(const fs::path& file, FileFacts* facts) {
  std::error_code error;
  facts->size = fs::file_size(file, error);
  if (error) return false;
  auto written = std::chrono::file_clock::to_sys(fs::last_write_time(file, error));
  if (error) return false;
  auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch());
  facts->modified = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(written));
  char tag[64];
  std::snprintf(tag, sizeof(tag), "\"%llx-%llx\"", static_cast<unsigned long long>(facts->size),
                static_cast<unsigned long long>(nanos.count()));
  facts->etag = tag;
  facts->lastModified = HttpDate(facts->modified);
  return true;
}

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// If-None-Match compares weakly: a "W/" tag matches the strong tag it was made from.
bool EtagListMatches(const std::string& list, const std::string& etag) {
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = std::min(list.find(',', start), list.size());
    std::string tag = Trim(list.substr(start, end - start));
    if (tag.rfind("W/", 0) == 0) tag = tag.substr(2);
    if (tag == "*" || tag == etag) return true;
    start = end + 1;
  }
  return false;
}

bool NotModified(const httplib::Request& request, const FileFacts& facts) {
  if (request.has_header("If-None-Match"))
    return EtagListMatches(request.get_header_value("If-None-Match"), facts.etag);
  if (!request.has_header("If-Modified-Since")) return false;
  auto since = ParseHttpDate(request.get_header_value("If-Modified-Since"));
  return since && facts.modified <= *since;
}

// If-Range names the version the client holds: only the same version is sent in part.
bool RangeApplies(const httplib::Request& request, const FileFacts& facts) {
  if (!request.has_header("If-Range")) return true;
  std::string condition = Trim(request.get_header_value("If-Range"));
  if (!condition.empty() && condition[0] == '"') return condition == facts.etag;
  auto date = ParseHttpDate(condition);
  return date && *date == facts.modified;
}

bool ParseNumber(const std::string& text, std::uint64_t* value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

void NotFound(httplib::Response& response) {
  response.status = 404;
  response.set_content("not found\n", "text/plain; charset=utf-8");
}

void SendFile(const fs::path& file, const ByteRange& range, const std::string& type,
              httplib::Response& response) {
  std::uint64_t length = range.last - range.first + 1;
  auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
  response.set_content_provider(
      length, type,
      [in, first = range.first](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
        std::vector<char> buffer(std::min(want, kChunk));
        in->seekg(static_cast<std::streamoff>(first + offset));
        in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        // A file that shrank while it was sent ends the connection rather than lying.
        if (in->gcount() != static_cast<std::streamsize>(buffer.size())) return false;
        return sink.write(buffer.data(), buffer.size());
      });
}

}  // namespace

std::optional<fs::path> ResolvePath(const fs::path& root, const std::string& path) {
  std::optional<fs::path> relative = RelativePath(path);
  if (!relative) return std::nullopt;
  std::error_code error;
  fs::path real = fs::canonical(root / *relative, error);
  if (error || !fs::is_regular_file(real, error)) return std::nullopt;
  // A link inside the folder may point anywhere; only what lies in the folder is served.
  auto [rootEnd, realAt] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
  if (rootEnd != root.end()) return std::nullopt;
  return real;
}

std::string ContentType(const fs::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".html" || extension == ".htm") return "text/html; charset=utf-8";
  if (extension == ".png") return "image/png";
  if (extension == ".apk") return "application/vnd.android.package-archive";
  if (extension == ".json") return "application/json; charset=utf-8";
  if (extension == ".css") return "text/css; charset=utf-8";
  if (extension == ".js") return "text/javascript; charset=utf-8";
  return "application/octet-stream";
}

RangeAnswer ParseRange(const std::string& header, std::uint64_t size, ByteRange* range) {
  const std::string unit = "bytes=";
  std::string asked = Trim(header);
  if (asked.rfind(unit, 0) != 0) return RangeAnswer::kWhole;
  asked = Trim(asked.substr(unit.size()));
  std::size_t dash = asked.find('-');
  if (dash == std::string::npos || asked.find(',') != std::string::npos) return RangeAnswer::kWhole;
  std::string from = Trim(asked.substr(0, dash));
  std::string to = Trim(asked.substr(dash + 1));
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  if (from.empty()) {  // the last b bytes
    if (!ParseNumber(to, &b)) return RangeAnswer::kWhole;
    if (b == 0 || size == 0) return RangeAnswer::kUnsatisfiable;
    *range = {size - std::min(b, size), size - 1};
    return RangeAnswer::kPart;
  }
  if (!ParseNumber(from, &a) || (!to.empty() && (!ParseNumber(to, &b) || b < a)))
    return RangeAnswer::kWhole;
  if (a >= size) return RangeAnswer::kUnsatisfiable;
  *range = {a, to.empty() ? size - 1 : std::min(b, size - 1)};
  return RangeAnswer::kPart;
}

int BindWithWideBacklog(httplib::Server& server, const std::string& host, int port,
                        std::function<void(int)> options) {
  int listening = -1;
  server.set_socket_options([&listening, &options](int socket) {
    options(socket);
    listening = socket;
  });
  int bound =
      port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  server.set_socket_options(std::move(options));
  if (bound > 0 && listening >= 0) listen(listening, 128);
  return bound;
}

StoreServer::StoreServer(const fs::path& root)
    : root_(fs::weakly_canonical(root)), server_(std::make_unique<httplib::Server>()) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  server_->set_keep_alive_max_count(1000);
  server_->set_keep_alive_timeout(5);
  server_->set_read_timeout(10);
  server_->set_payload_max_length(4096);
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  });
}

StoreServer::~StoreServer() {
  Stop();
}

bool StoreServer::Bind(const std::string& host, int port, std::string* error) {
  errno = 0;
  // httplib's default sets SO_REUSEPORT, which would let a second store share a busy port.
  port_ = BindWithWideBacklog(*server_, host, port, [](int socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  if (port_ > 0) return true;
  if (error) {
    *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " +
             (errno == EADDRINUSE ? "the port is already in use"
                                  : (errno ? std::strerror(errno) : "refused"));
  }
  return false;
}

bool StoreServer::Run() {
  return server_->listen_after_bind();
}

void StoreServer::Stop() {
  if (server_->is_running()) server_->stop();
}

void StoreServer::Handle(const httplib::Request& request, httplib::Response& response) const {
  // httplib cuts the response to the parsed ranges after the handler, without If-Range or
  // 416; this handler answers ranges itself, so the library must see none.
  const_cast<httplib::Request&>(request).ranges.clear();
  std::optional<fs::path> file = ResolvePath(root_, request.path);
  FileFacts facts;
  if (!file || !Stat(*file, &facts)) return NotFound(response);
  response.set_header("ETag", facts.etag);
  response.set_header("Last-Modified", facts.lastModified);
  response.set_header("Accept-Ranges", "bytes");
  response.set_header("Cache-Control", "no-cache");
  if (NotModified(request, facts)) {
    response.status = 304;
    return;
  }
  ByteRange range{0, facts.size - 1};
  RangeAnswer answer = RangeAnswer::kWhole;
  if (request.has_header("Range") && RangeApplies(request, facts))
    answer = ParseRange(request.get_header_value("Range"), facts.size, &range);
  if (answer == RangeAnswer::kUnsatisfiable) {
    response.status = 416;
    response.set_header("Content-Range", "bytes */" + std::to_string(facts.size));
    return;
  }
  if (answer == RangeAnswer::kPart) {
    response.status = 206;
    response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                             std::to_string(range.last) + "/" +
                                             std::to_string(facts.size));
  } else {
    response.status = 200;
  }
  // httplib never asks a provider for zero bytes, so an empty file goes as an empty body.
  if (facts.size == 0) return response.set_content("", ContentType(*file));
  SendFile(*file, range, ContentType(*file), response);
}

}  // namespace lumo::store
