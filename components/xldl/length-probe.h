#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace xldl {

// What a server answered to a HEAD request for a file.
enum class ProbeAnswer {
  kFits,     // a length within the cap, none, or no usable answer: aria2 decides
  kTooLong,  // an announced length over the cap
};

// Asks for the length a server announces for url, following a few redirects, bounded in
// time; `abort()` returning true ends the request early.
ProbeAnswer ProbeLength(const std::string& url, std::int64_t cap,
                        const std::function<bool()>& abort);

// Asks servers how long a file is before aria2 does. aria2 sizes its piece tables by the
// announced length before anything else sees it, so a length that no disk holds has to be
// refused first. One thread asks, one request at a time, so that the engine thread never
// waits on a server.
class LengthProbes {
 public:
  // `answer(id, result)` runs on the probe thread, with no lock of this object held.
  LengthProbes(std::int64_t cap, std::function<void(std::uintptr_t, ProbeAnswer)> answer);
  // Ends a request in flight and waits for the thread.
  ~LengthProbes();
  LengthProbes(const LengthProbes&) = delete;
  LengthProbes& operator=(const LengthProbes&) = delete;

  void Ask(std::uintptr_t id, std::string url);

 private:
  void Run();

  const std::int64_t cap_;
  const std::function<void(std::uintptr_t, ProbeAnswer)> answer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::uintptr_t, std::string>> asked_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace xldl
