#include <filesystem>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/apk-builder.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using test::TempDir;

platform::ProcessOutput RunTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {LUMO_PROGRAM_DIR "/lumo-apk"};
  argv.insert(argv.end(), args.begin(), args.end());
  return platform::RunProcess(argv, 1 << 20);
}

// Bundles of aapt-built split APKs, with and without a manifest and whatever the case of their
// extension, are read through their base; one whose names would leave the unpacking folder is
// refused whole.
TEST(LumoApkTool, ReadsBundlesThroughTheirBaseAndRefusesEscapingNames) {
  TempDir dir;
  test::ApkSpec recipe;
  recipe.packageName = "com.lumo.bundle";
  std::string base = dir / "base.apk", split = dir / "split.apk", error;
  ASSERT_TRUE(test::BuildApk(recipe, base, &error)) << error;
  recipe.nativeAbis = {"x86_64"};
  ASSERT_TRUE(test::BuildApk(recipe, split, &error)) << error;
  std::string manifest = R"({"package_name":"com.lumo.bundle","split_apks":[
      {"file":"config.x86_64.apk","id":"config.x86_64"},{"file":"com.lumo.bundle.apk","id":"base"}]})";
  ASSERT_TRUE(test::BuildBundle(
      dir / "game.xapk", {{"config.x86_64.apk", split}, {"com.lumo.bundle.apk", base}}, manifest));
  ASSERT_TRUE(
      test::BuildBundle(dir / "game.APKS",
                        {{"splits/base-x86_64.apk", split}, {"splits/base-master.apk", base}}, ""));
  for (const char* name : {"game.xapk", "game.APKS"}) {
    platform::ProcessOutput out = RunTool({dir / name, dir / "icons"});
    EXPECT_EQ(out.exitCode, 0) << name << out.text;
    EXPECT_NE(out.text.find("package: com.lumo.bundle\n"), std::string::npos) << out.text;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "icons/com.lumo.bundle.png"));
    std::filesystem::remove(dir / "icons/com.lumo.bundle.png");
  }
  ASSERT_TRUE(test::BuildBundle(dir / "evil.xapk", {{"../base.apk", base}}, ""));
  platform::ProcessOutput out = RunTool({dir / "evil.xapk", dir / "icons"});
  EXPECT_EQ(out.exitCode, 1) << out.text;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "icons"));
}

}  // namespace
}  // namespace lumo
