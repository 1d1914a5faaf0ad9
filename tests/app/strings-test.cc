#include "app/strings.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(Strings, RoundTripsChineseAndAstralTextAndReplacesInvalidInput) {
  const std::string text = "开始游戏吧 Tom's 🎮";
  EXPECT_EQ(WideToUtf8(Utf8ToWide(text)), text);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("🎮").size(), 2u);  // a surrogate pair
  EXPECT_EQ(WideToUtf8(L""), "");
  // Invalid input becomes the replacement character.
  EXPECT_EQ(WideToUtf8(Utf8ToWide("a\xff"
                                  "b")),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xE4\xB8")), "\xEF\xBF\xBD");  // truncated sequence
  EXPECT_EQ(WideToUtf8(Utf8ToWide("\xC0\xAF")), "\xEF\xBF\xBD");  // overlong '/'
}

TEST(Strings, LeadingIntegerFollowsProfileRules) {
  int value = -7;
  EXPECT_TRUE(ParseLeadingInt("  +12abc", &value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(ParseLeadingInt("-3", &value));
  EXPECT_EQ(value, -3);
  EXPECT_TRUE(ParseLeadingInt("99999999999", &value));
  EXPECT_EQ(value, 2147483647);
  value = 5;
  EXPECT_FALSE(ParseLeadingInt("yes", &value));
  EXPECT_FALSE(ParseLeadingInt("", &value));
  EXPECT_FALSE(ParseLeadingInt("-", &value));
  EXPECT_EQ(value, 5);
}

}  // namespace
}  // namespace lumo
