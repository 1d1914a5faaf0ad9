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

// The tool runs from the program folder and finds aapt there, as the program does.
TEST(LumoApkTool, PrintsTheBadgingAndExtractsTheIcon) {
  TempDir dir;
  test::ApkSpec recipe;
  recipe.packageName = "com.lumo.tool";
  recipe.chineseLabel = "工具";
  std::string error;
  ASSERT_TRUE(test::BuildApk(recipe, dir / "tool.apk", &error)) << error;

  platform::ProcessOutput out = RunTool({dir / "tool.apk", dir / "icons"});
  EXPECT_EQ(out.exitCode, 0) << out.text;
  EXPECT_NE(out.text.find("package: com.lumo.tool\n"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("label: 工具\n"), std::string::npos);
  EXPECT_NE(out.text.find("launch-activity: com.lumo.tool.MainActivity\n"), std::string::npos);
  EXPECT_NE(out.text.find("icon-entry: res/drawable-hdpi-v4/icon.png\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "icons/com.lumo.tool.png"));

  test::WriteFile(dir / "bad.apk", "not an apk");
  out = RunTool({dir / "bad.apk", dir / "icons2"});
  EXPECT_EQ(out.exitCode, 1) << out.text;
  EXPECT_NE(out.text.find("no package name found"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "icons2"));
  EXPECT_EQ(RunTool({}).exitCode, 2);
}

}  // namespace
}  // namespace lumo
