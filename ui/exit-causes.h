#pragma once

#include <functional>

namespace lumo {

// The ways the program can end without the user's close: each is logged with its cause.
//
// While it lives, a terminate, interrupt or hang-up signal calls `quit` with the signal's name
// on the UI thread, so the shutdown steps still run. Writes to a pipe or socket whose reader
// has gone fail with an error instead of ending the process. A lost display connection is
// logged before the process ends.
class ExitCauses {
 public:
  explicit ExitCauses(std::function<void(const char* cause)> quit);
  ~ExitCauses();
  ExitCauses(const ExitCauses&) = delete;
  ExitCauses& operator=(const ExitCauses&) = delete;

 private:
  struct Watch {
    ExitCauses* owner;
    const char* cause;
    unsigned source;
  };
  std::function<void(const char*)> quit_;
  Watch watches_[3] = {};
};

}  // namespace lumo
