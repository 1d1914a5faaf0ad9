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

TEST(DownloadRequest, TakesTheStoresSizeAndHashOnlyWhenWellFormed) {
  AppItemInfo record;
  DownloadCheck check;
  std::string hash(64, 'A');
  ASSERT_TRUE(ParseDownloadRequest(
      "{\"packageName\":\"a\",\"size\":1234,\"sha256\":\"" + hash + "\"}", &record, &check));
  EXPECT_EQ(check.size, 1234);
  EXPECT_EQ(check.sha256, std::string(64, 'a'));
  ASSERT_TRUE(ParseDownloadRequest("{\"packageName\":\"a\"}", &record, &check));
  EXPECT_TRUE(check.empty());
  for (const char* bad : {"{\"size\":-1}", "{\"size\":1.5}", "{\"size\":\"12\"}",
                          "{\"sha256\":\"abc\"}", "{\"sha256\":12}"})
    EXPECT_FALSE(ParseDownloadRequest(bad, &record, &check)) << bad;
  EXPECT_FALSE(ParseDownloadRequest("{\"sha256\":\"" + std::string(64, 'g') + "\"}", &record));
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

TEST(WebAddress, OnlyHttpAndHttpsWithAHostHaveAnOrigin) {
  EXPECT_EQ(WebOrigin("http://127.0.0.1:18080/app/detail.html?packagename=a"),
            "http://127.0.0.1:18080");
  EXPECT_EQ(WebOrigin("HTTPS://Store.Example:443/x"), "https://store.example");
  EXPECT_EQ(WebOrigin("http://h:80"), "http://h");
  EXPECT_EQ(WebOrigin("http://127.0.0.2:18080/"), "http://127.0.0.2:18080");
  EXPECT_EQ(WebOrigin("http://[::1]:8080/x"), "http://[::1]:8080");
  for (const char* url :
       {"", "http://", "http:///x", "file:///etc/passwd", "javascript:alert(1)", "data:text/html,x",
        "ftp://h/a", "httpx://h", " http://h", "http://store@evil/", "http://:80/", "http://a b/",
        "http://h:80:80/", "http://h:99999/", "http://h:/", "http://\x8c.h/"}) {
    EXPECT_EQ(WebOrigin(url), "") << url;
    EXPECT_FALSE(IsWebAddress(url)) << url;
  }
}

}  // namespace
}  // namespace lumo
