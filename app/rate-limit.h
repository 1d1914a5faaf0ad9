#pragma once

#include <algorithm>
#include <chrono>

namespace lumo {

// A token bucket: lets `burst` events through at once and `perSecond` on average after that.
// Not thread-safe; its owner serialises the calls.
class RateLimit {
 public:
  using Clock = std::chrono::steady_clock;

  RateLimit(double burst, double perSecond)
      : burst_(burst), perSecond_(perSecond), tokens_(burst) {}

  bool Admit(Clock::time_point now = Clock::now()) {
    if (last_ != Clock::time_point()) {
      double seconds = std::max(0.0, std::chrono::duration<double>(now - last_).count());
      tokens_ = std::min(burst_, tokens_ + seconds * perSecond_);
    }
    last_ = now;
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
  }

 private:
  double burst_;
  double perSecond_;
  double tokens_;
  Clock::time_point last_;
};

}  // namespace lumo
