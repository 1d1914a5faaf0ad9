#include "ui/hard-fail-wnd.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(HardwareCheck, TwoProcessorsAndTwoGibibytesAreEnough) {
  EXPECT_TRUE(HardwareIsEnough(2, 2147483648ULL));
  EXPECT_TRUE(HardwareIsEnough(8, 16ULL << 30));
  EXPECT_FALSE(HardwareIsEnough(1, 64ULL << 30));
  EXPECT_FALSE(HardwareIsEnough(4, 2147483647ULL));
}

}  // namespace
}  // namespace lumo
