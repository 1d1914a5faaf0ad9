#include "catalogue/download-request.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(DownloadRequest, ReadsTheFiveMembersWithNullBooleansAndComments) {
  AppItemInfo record;
  record.status = 9;
  ASSERT_TRUE(ParseDownloadRequest(R"({
      // a page may comment its request
      "packageName": "com.lumo.a", "appName": "游戏", "imageUrl": null,
      "apkUrl": "http://h/a.apk", "detailUrl": true, "size": 12, "extra": [1]})",
                                   &record));
  EXPECT_EQ(record.packageName, "com.lumo.a");
  EXPECT_EQ(record.appName, "游戏");
  EXPECT_EQ(record.imageUrl, "");
  EXPECT_EQ(record.apkUrl, "http://h/a.apk");
  EXPECT_EQ(record.detailUrl, "true");
  EXPECT_EQ(record.status, 9);  // only the five members are touched
}

TEST(DownloadRequest, RefusesTextsThatAreNotAnObjectOfTextMembers) {
  AppItemInfo record;
  record.appName = "kept";
  for (const char* text :
       {"", "not json", "[]", "\"text\"", "{\"appName\": 7}", "{\"packageName\": {\"a\": 1}}",
        "{\"apkUrl\": [\"x\"]}", "{\"appName\": \"x\"", "{\"appName\": \"x\"} trailing"}) {
    EXPECT_FALSE(ParseDownloadRequest(text, &record)) << text;
    EXPECT_EQ(record.appName, "kept") << text;
  }
  // Deep nesting and huge texts are refused without exhausting the stack or memory.
  EXPECT_FALSE(ParseDownloadRequest("{\"a\":" + std::string(5000, '[') + "}", &record));
  EXPECT_FALSE(ParseDownloadRequest(std::string(1 << 20, ' ') + "{}", &record));
}

TEST(DownloadRequest, OnlyHttpAndHttpsAreWebAddresses) {
  EXPECT_TRUE(IsWebAddress("http://127.0.0.1/a.apk"));
  EXPECT_TRUE(IsWebAddress("HTTPS://store/x"));
  for (const char* url : {"", "http://", "file:///etc/passwd", "javascript:alert(1)", "ftp://h/a",
                          "httpx://h", " http://h"})
    EXPECT_FALSE(IsWebAddress(url)) << url;
}

}  // namespace
}  // namespace lumo
