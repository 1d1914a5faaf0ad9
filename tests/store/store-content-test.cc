#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>
#include <json/json.h>

#include "platform/process.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

const std::string kStore = std::string(LUMO_PROGRAM_DIR) + "/store";

std::string Output(const std::vector<std::string>& argv) {
  return platform::RunProcess(argv, 1 << 20).text;
}

// The list the pages read must describe the files the server sends, each game must have a page
// of its own, and the sample games must keep the cases they exist for: a large game, one the
// player cannot run, one without an icon.
TEST(StoreContent, GamesListMatchesTheApkFiles) {
  Json::Value list;
  std::istringstream text(test::ReadFile(kStore + "/games.json"));
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), text, &list, nullptr));
  ASSERT_GE(list["games"].size(), 6u);
  int large = 0, mipsOnly = 0, missingIcon = 0;
  for (const Json::Value& game : list["games"]) {
    std::string name = game["packageName"].asString();
    std::string apk = kStore + game["apk"].asString();
    EXPECT_EQ(game["size"].asUInt64(), fs::file_size(apk)) << name;
    EXPECT_EQ(Output({"/usr/bin/sha256sum", apk}).substr(0, 64), game["sha256"].asString()) << name;
    std::string badging = Output({"/usr/bin/aapt", "dump", "badging", apk});
    EXPECT_NE(badging.find("package: name='" + name + "'"), std::string::npos) << name;
    EXPECT_NE(badging.find("launchable-activity"), std::string::npos) << name;
    EXPECT_NE(badging.find("application-label-zh-CN:'" + game["appName"].asString()),
              std::string::npos)
        << name;
    large += game["size"].asUInt64() >= (64u << 20);
    mipsOnly += game["abis"].size() == 1 && game["abis"][0] == "mips";
    missingIcon += !fs::exists(kStore + game["image"].asString());
    EXPECT_TRUE(fs::exists(kStore + "/games/" + name + ".html")) << name;
  }
  EXPECT_EQ(large, 1);
  EXPECT_EQ(mipsOnly, 1);
  EXPECT_EQ(missingIcon, 1);
  EXPECT_TRUE(fs::exists(kStore + "/download/AKTU/Runbox/Setup64.exe"));
  EXPECT_TRUE(fs::exists(kStore + "/download/AKTU/Runbox/Setup32.exe"));
}

}  // namespace
}  // namespace lumo
