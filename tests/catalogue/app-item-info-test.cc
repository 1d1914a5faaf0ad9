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

TEST(AppItemInfo, StatusTextsFollowThePlayerAndTheGivenText) {
  EXPECT_EQ(StatusLabel(kStatusWaitingInstall, true), "等待安装");
  EXPECT_EQ(StatusLabel(kStatusWaitingInstall, false), "模拟器安装中");
  EXPECT_EQ(StatusDetailText(kStatusWaitingInstall, false), "马上完成，请耐心等待");
  // The download texts are checked in the real window (game-road-test.sh).
  EXPECT_EQ(StatusDetailText(kStatusInstalling, true), "正在安装中...");
  EXPECT_EQ(StatusDetailText(kStatusInstalling, true, "预计12秒内完成"), "预计12秒内完成");
  EXPECT_EQ(StatusLabel(kStatusDeleteFailed, true), "");
  for (int status : {5, 8, 9, 10}) EXPECT_FALSE(IsPersistedStatus(status)) << status;
  for (int status : {0, 1, 2, 3, 4, 6, 7}) EXPECT_TRUE(IsPersistedStatus(status)) << status;
}

}  // namespace
}  // namespace lumo
