#include "components/xldl/length-probe.h"

#include <curl/curl.h>

namespace xldl {

namespace {

int AbortWhenAsked(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return (*static_cast<const std::function<bool()>*>(abort))() ? 1 : 0;
}

}  // namespace

ProbeAnswer ProbeLength(const std::string& url, std::int64_t cap,
                        const std::function<bool()>& abort) {
  CURL* curl = curl_easy_init();
  if (!curl) return ProbeAnswer::kFits;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
  // Probes wait in one line: a server that never answers holds up the others this long.
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(cap));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortWhenAsked);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &abort);
  CURLcode result = curl_easy_perform(curl);
  curl_off_t length = -1;
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (result == CURLE_FILESIZE_EXCEEDED) return ProbeAnswer::kTooLong;
  // Only a successful answer speaks for the file; an error page's length does not.
  bool ok = result == CURLE_OK && status >= 200 && status < 300;
  return ok && length > cap ? ProbeAnswer::kTooLong : ProbeAnswer::kFits;
}

LengthProbes::LengthProbes(std::int64_t cap,
                           std::function<void(std::uintptr_t, ProbeAnswer)> answer)
    : cap_(cap), answer_(std::move(answer)), thread_(&LengthProbes::Run, this) {}

LengthProbes::~LengthProbes() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LengthProbes::Ask(std::uintptr_t id, std::string url) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.emplace_back(id, std::move(url));
  }
  wake_.notify_all();
}

void LengthProbes::Run() {
  const std::function<bool()> stopping = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  };
  for (;;) {
    std::pair<std::uintptr_t, std::string> next;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !asked_.empty(); });
      if (stopping_) return;
      next = std::move(asked_.front());
      asked_.pop_front();
    }
    ProbeAnswer result = ProbeLength(next.second, cap_, stopping);
    if (stopping()) return;
    answer_(next.first, result);
  }
}

}  // namespace xldl
