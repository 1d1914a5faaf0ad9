#include "ui/quiet-trim.h"

#include "platform/system.h"
#include "platform/ui-loop.h"

namespace lumo {

namespace {
// Long enough for the work that follows a start or a setup to have ended.
constexpr unsigned kQuietMs = 5000;
}  // namespace

QuietTrim::~QuietTrim() {
  platform::CancelTimer(timer_);
}

void QuietTrim::AfterWork() {
  LUMO_CHECK_UI_THREAD();
  platform::CancelTimer(timer_);
  timer_ = platform::AddTimer(kQuietMs, [this] {
    timer_ = 0;
    platform::ReturnFreedMemory();
    return false;
  });
}

}  // namespace lumo
