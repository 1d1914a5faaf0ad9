#include "vm/player-setup.h"

#include <vector>

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(SetupBackOff, DoublesFromFiveSecondsUpToFiveMinutesAndStartsOverOnReset) {
  SetupBackOff backOff;
  std::vector<long> waits;
  for (int i = 0; i < 9; ++i) waits.push_back(static_cast<long>(backOff.Next().count()));
  EXPECT_EQ(waits, (std::vector<long>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
  backOff.Reset();
  EXPECT_EQ(backOff.Next().count(), 5);
  EXPECT_EQ(backOff.Next().count(), 10);
}

}  // namespace
}  // namespace lumo
