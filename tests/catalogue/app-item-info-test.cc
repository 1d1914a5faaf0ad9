#include "catalogue/app-item-info.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(AppItemInfo, IconPathTakesTheAddressExtensionButNeverItsFolders) {
  EXPECT_EQ(IconPathFor("/d/icons", "com.a.b", "http://h/x/icon.png"), "/d/icons/com.a.b.png");
  EXPECT_EQ(IconPathFor("/d/icons", "com.a.b", "icon"), "/d/icons/com.a.b");
  EXPECT_EQ(IconPathFor("/d/icons", "com.a.b", "http://cdn.example/icon"), "/d/icons/com.a.b");
  EXPECT_EQ(IconPathFor("/d/icons/", "com.a.b", "http://h/i.webp?v=2"), "/d/icons/com.a.b");
}

}  // namespace
}  // namespace lumo
