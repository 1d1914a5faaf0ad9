#include "download/small-file-downloader.h"

#include <cstdio>

#include <curl/curl.h>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/path-steps.h"
#include "platform/dynamic-library.h"

namespace lumo {

namespace {

// libcurl, and the dozen libraries it brings, is loaded with the first small file rather
// than at start, where it would add tens of milliseconds before the window shows. It stays
// loaded: its global state is set up once.
struct Curl {
  CURLcode (*globalInit)(long) = nullptr;
  CURL* (*easyInit)() = nullptr;
  CURLcode (*setOption)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*perform)(CURL*) = nullptr;
  void (*cleanup)(CURL*) = nullptr;
};

const Curl* LoadedCurl() {
  static const Curl* loaded = []() -> const Curl* {
    static auto* library = new platform::DynamicLibrary(LUMO_LIBCURL_SONAME);
    static Curl curl;
    if (!library->Bind("curl_global_init", &curl.globalInit) ||
        !library->Bind("curl_easy_init", &curl.easyInit) ||
        !library->Bind("curl_easy_setopt", &curl.setOption) ||
        !library->Bind("curl_easy_perform", &curl.perform) ||
        !library->Bind("curl_easy_cleanup", &curl.cleanup)) {
      Log::instance()->write("libcurl cannot be loaded: %s", library->IsLoaded()
                                                                 ? "a function is missing"
                                                                 : library->Error().c_str());
      return nullptr;
    }
    curl.globalInit(CURL_GLOBAL_DEFAULT);
    return &curl;
  }();
  return loaded;
}

// A path with "." or ".." steps could lead anywhere; the caller's folder is what counts.
bool IsPlainPath(const std::string& path) {
  return !path.empty() && path.back() != '/' && !HasDotStep(path);
}

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

}  // namespace

SmallFileDownloader::SmallFileDownloader(std::string url, std::string filePath, std::string key)
    : url_(std::move(url)), filePath_(std::move(filePath)), key_(std::move(key)) {}

void SmallFileDownloader::setTimeouts(std::chrono::milliseconds connect,
                                      std::chrono::milliseconds transfer) {
  connectTimeout_ = connect;
  transferTimeout_ = transfer;
}

bool SmallFileDownloader::Download(const std::string& url, const std::string& filePath,
                                   const std::string& key) {
  SmallFileDownloader downloader(url, filePath, key);
  return downloader.run();
}

bool SmallFileDownloader::run() {
  if (done_) return false;
  done_ = true;
  bool ok = transfer();
  Dispatcher::instance()->Send(MSG_ICON_READY, {.key = key_, .path = filePath_});
  return ok;
}

bool SmallFileDownloader::transfer() {
  if (!IsPlainPath(filePath_)) {
    Log::instance()->write("small file for %s refused: bad path %s", key_.c_str(),
                           filePath_.c_str());
    return false;
  }
  const Curl* lib = LoadedCurl();
  if (!lib) return false;
  std::string partPath = filePath_ + ".part";
  std::FILE* file = std::fopen(partPath.c_str(), "wb");
  if (!file) {
    Log::instance()->write("small file for %s: cannot write %s", key_.c_str(), partPath.c_str());
    return false;
  }
  CURL* curl = lib->easyInit();
  char error[CURL_ERROR_SIZE] = {};
  lib->setOption(curl, CURLOPT_URL, url_.c_str());
  lib->setOption(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  lib->setOption(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  lib->setOption(curl, CURLOPT_FOLLOWLOCATION, 1L);
  lib->setOption(curl, CURLOPT_MAXREDIRS, 5L);
  lib->setOption(curl, CURLOPT_FAILONERROR, 1L);
  lib->setOption(curl, CURLOPT_NOSIGNAL, 1L);
  lib->setOption(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  lib->setOption(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(transferTimeout_.count()));
  lib->setOption(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBytes));
  lib->setOption(curl, CURLOPT_ERRORBUFFER, error);
  lib->setOption(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
  lib->setOption(curl, CURLOPT_WRITEDATA, file);
  CURLcode code = lib->perform(curl);
  lib->cleanup(curl);
  bool written = std::fclose(file) == 0;
  if (code != CURLE_OK || !written || std::rename(partPath.c_str(), filePath_.c_str()) != 0) {
    Log::instance()->write("small file for %s failed: %s [curl=%d] %s", key_.c_str(), url_.c_str(),
                           static_cast<int>(code), error);
    std::remove(partPath.c_str());
    return false;
  }
  return true;
}

}  // namespace lumo
