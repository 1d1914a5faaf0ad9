#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/single-instance.h"
#include "tests/support/child.h"
#include "tests/support/sandbox.h"

namespace lumo::platform {
namespace {

using Result = SingleInstanceLock::Result;

using test::InChild;

TEST(SingleInstanceLock, OneHolderPerUserAndACrashedHolderLeavesNoStaleLock) {
  test::SandboxHome home;
  {
    SingleInstanceLock first("com.tarvelon.lum");
    ASSERT_EQ(first.result(), Result::kAcquired);
    EXPECT_EQ(InChild([] {
                SingleInstanceLock second("com.tarvelon.lum");
                return second.result() == Result::kAlreadyHeld ? 0 : 1;
              }),
              0);
    SingleInstanceLock otherName("com.tarvelon.other");
    EXPECT_EQ(otherName.result(), Result::kAcquired);
  }
  // A holder that dies without cleaning up: the lock file stays, the lock does not.
  EXPECT_EQ(InChild([] {
              new SingleInstanceLock("com.tarvelon.lum");  // never released by us
              _exit(0);
              return 1;
            }),
            0);
  SingleInstanceLock after("com.tarvelon.lum");
  EXPECT_EQ(after.result(), Result::kAcquired);
}

}  // namespace
}  // namespace lumo::platform
