#include "components/renew/update-fetch.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <curl/curl.h>

namespace lumo::renew {

namespace {

constexpr long kConnectTimeoutMs = 10000;
constexpr long kTextTimeoutMs = 30000;
// A stalled archive transfer: less than this many bytes a second for this long.
constexpr long kLowSpeedBytes = 1;
constexpr long kLowSpeedSeconds = 60;

struct CurlCloser {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlPtr = std::unique_ptr<CURL, CurlCloser>;

CurlPtr NewTransfer(const std::string& url) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CurlPtr curl(curl_easy_init());
  if (!curl) return curl;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  return curl;
}

struct TextSink {
  std::string* text;
  std::size_t maxBytes;
};

std::size_t AppendText(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<TextSink*>(user);
  std::size_t n = size * count;
  if (sink->text->size() + n > sink->maxBytes) return 0;  // too large: the transfer fails
  sink->text->append(data, n);
  return n;
}

struct FileSink {
  std::FILE* file;
  std::uint64_t have;
  std::uint64_t size;
  bool started = false;  // the first byte of the body has arrived
  long response = 0;
  CURL* curl;
  bool tooLarge = false;
  const std::atomic<bool>* cancel;
  const ProgressFn* progress;
};

std::size_t AppendFile(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<FileSink*>(user);
  std::size_t n = size * count;
  if (!sink->started) {
    sink->started = true;
    curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &sink->response);
    if (sink->response != 206 && sink->have > 0) {
      // Range ignored: start over at the beginning of the file.
      if (std::fflush(sink->file) != 0 || ftruncate(fileno(sink->file), 0) != 0) return 0;
      std::rewind(sink->file);
      sink->have = 0;
    }
  }
  if (sink->have + n > sink->size) {
    sink->tooLarge = true;
    return 0;
  }
  if (std::fwrite(data, 1, n, sink->file) != n) return 0;
  sink->have += n;
  if (*sink->progress) (*sink->progress)(sink->have, sink->size);
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<FileSink*>(user)->cancel->load() ? 1 : 0;
}

std::uint64_t FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

}  // namespace

bool FetchText(const std::string& url, std::size_t maxBytes, std::string* text,
               std::string* error) {
  CurlPtr curl = NewTransfer(url);
  if (!curl) {
    *error = "the transfer could not be set up";
    return false;
  }
  text->clear();
  TextSink sink{text, maxBytes};
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, kTextTimeoutMs);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendText);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
  CURLcode code = curl_easy_perform(curl.get());
  if (code != CURLE_OK) *error = curl_easy_strerror(code);
  return code == CURLE_OK;
}

bool DownloadResumable(const std::string& url, const std::string& path, std::uint64_t size,
                       const std::atomic<bool>& cancel, const ProgressFn& progress,
                       std::string* error) {
  std::uint64_t have = FileSize(path);
  if (have > size) have = 0;  // not the start of this file
  std::FILE* file = std::fopen(path.c_str(), have ? "r+b" : "wb");
  if (!file || std::fseek(file, static_cast<long>(have), SEEK_SET) != 0 ||
      ftruncate(fileno(file), static_cast<off_t>(have)) != 0) {
    if (file) std::fclose(file);
    *error = "cannot write " + path;
    return false;
  }
  CurlPtr curl = NewTransfer(url);
  FileSink sink{file, have, size, false, 0, curl.get(), false, &cancel, &progress};
  bool ok = false;
  if (have == size) {
    ok = true;
  } else if (curl) {
    // A plain Range header: a server that ignores it answers with the whole file, which
    // AppendFile takes from the start.
    std::string range = std::to_string(have) + "-";
    if (have) curl_easy_setopt(curl.get(), CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendFile);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &sink);
    CURLcode code = curl_easy_perform(curl.get());
    ok = code == CURLE_OK && sink.have == size;
    if (sink.tooLarge)
      *error = "the server sent more than the described size";
    else if (cancel)
      *error = "cancelled";
    else if (code != CURLE_OK)
      *error = curl_easy_strerror(code);
    else if (!ok)
      *error = "the server sent less than the described size";
  }
  if (std::fclose(file) != 0 && ok) {
    *error = "cannot write " + path;
    ok = false;
  }
  return ok;
}

}  // namespace lumo::renew
