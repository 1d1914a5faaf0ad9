#pragma once

#include <utility>

namespace lumo {

// Runs an action when the scope ends, unless dismissed.
template <typename Fn>
class ScopeGuard {
 public:
  explicit ScopeGuard(Fn fn) : fn_(std::move(fn)) {}
  ~ScopeGuard() {
    if (!dismissed_) fn_();
  }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  void Dismiss() { dismissed_ = true; }

 private:
  Fn fn_;
  bool dismissed_ = false;
};

}  // namespace lumo
