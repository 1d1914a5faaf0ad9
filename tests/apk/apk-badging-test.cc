#include "apk/apk-badging.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/apk-builder.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

using test::ApkSpec;
using test::BuildApk;
using test::IconFormat;
using test::TempDir;

constexpr char kPackageError[] = "aapt dumpbadging packagename error. [source=";

constexpr char kProgramFolderAapt[] = LUMO_PROGRAM_DIR "/aapt";

// The test programs live outside the program folder; they use the aapt link the build put
// there. The log goes to a file of the test's own, so tests can look for their lines.
class ApkTestEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    SetAaptPathForTest(kProgramFolderAapt);
    test::StartLogCapture();
  }
};
[[maybe_unused]] testing::Environment* const kApkEnvironment =
    testing::AddGlobalTestEnvironment(new ApkTestEnvironment);

// Waits until the log holds `expected` lines containing `text`; the writer is asynchronous.
bool LogReaches(const std::string& text, int expected) {
  return test::WaitFor([&] { return test::CountOf(test::CapturedLog(), text) >= expected; });
}

ApkBadging Read(const std::string& path) {
  ApkBadging info;
  info.apkPath = path;
  ReadApkBadging(info);
  return info;
}

std::string Built(const ApkSpec& recipe, const std::string& path) {
  std::string error;
  EXPECT_TRUE(BuildApk(recipe, path, &error)) << error;
  return path;
}

TEST(ApkBadging, PathIsOneArgumentWhateverItHolds) {
  TempDir dir;
  ApkSpec recipe;
  std::string tricky = dir / "it's a \"game\" $(touch pwned) `touch pwned2`; touch pwned3.apk";
  Built(recipe, tricky);
  ApkBadging info = Read(tricky);
  EXPECT_EQ(info.packageName, recipe.packageName);
  EXPECT_EQ(info.label, recipe.label);
  for (const char* marker : {"pwned", "pwned2", "pwned3"}) {
    EXPECT_FALSE(std::filesystem::exists(dir / marker)) << marker;
    EXPECT_FALSE(std::filesystem::exists(marker)) << marker;
  }
}

TEST(ApkBadging, MatchesToolOutputInBothLocaleSpellings) {
  ApkBadging info;
  info.iconEntry = "kept";
  // The default label comes first, the Chinese one after it in the old spelling.
  ParseApkBadging(
      "package: name='com.old.tool' versionCode='3' versionName='1.2'\n"
      "application-label:'Old Tool'\n"
      "application-label-zh_CN:'老工具'\n"
      "launchable-activity: name='com.old.tool.Main'  label='' icon=''\n",
      info);
  EXPECT_EQ(info.packageName, "com.old.tool");
  EXPECT_EQ(info.versionCode + " " + info.versionName, "3 1.2");
  EXPECT_EQ(info.label, "老工具");
  EXPECT_EQ(info.launchActivity, "com.old.tool.Main");
  EXPECT_EQ(info.iconEntry, "kept");  // no icon line: the field keeps its value

  ApkBadging quoted;
  ParseApkBadging(
      "package: name='a.b'\n"
      "application-label:'It's 'quoted''\n"
      "application-label-zh-CN:'新 '工具''\n"
      "application-icon-240:'res/a b'.png'\n",
      quoted);
  EXPECT_EQ(quoted.label, "新 '工具'");  // ends at the last quote of its own line
  EXPECT_EQ(quoted.iconEntry, "res/a b'.png");

  ApkBadging fallback;
  ParseApkBadging("package: name='a.b'\napplication-label:'Only Default'\n", fallback);
  EXPECT_EQ(fallback.label, "Only Default");
  EXPECT_TRUE(fallback.versionCode.empty() && fallback.versionName.empty());
}

// Labels are free text: a very long one is read whole, and one that spells out another key
// does not set that key's field.
TEST(ApkBadging, HostileLabelsAreOnlyLabels) {
  TempDir dir;
  ApkSpec longLabel;
  longLabel.label = std::string(30000, 'L');
  ApkBadging info = Read(Built(longLabel, dir / "long.apk"));
  EXPECT_EQ(info.label, longLabel.label);
  EXPECT_EQ(info.launchActivity, "com.lumo.sample.MainActivity");

  ApkSpec evil;  // aapt wants apostrophes escaped in its resources
  evil.label = R"(launchable-activity: name=\'x.Evil\')";
  evil.chineseLabel = R"(package: name=\'x.Evil\')";
  evil.launchable = false;
  info = Read(Built(evil, dir / "evil.apk"));
  EXPECT_EQ(info.packageName, "com.lumo.sample");
  EXPECT_EQ(info.label, "package: name='x.Evil'");
  EXPECT_TRUE(info.launchActivity.empty());
}

TEST(ApkBadging, BadInputLogsTheMissingPackageNameAndNothingElse) {
  TempDir dir;
  const int before = test::CountOf(test::CapturedLog(), kPackageError);

  ApkBadging untouched;
  untouched.label = "as it was";
  ReadApkBadging(untouched);  // empty path: nothing runs, nothing is logged
  EXPECT_EQ(untouched.label, "as it was");

  test::WriteFile(dir / "text.apk", "this is not an archive\n");
  std::string good = Built(ApkSpec{}, dir / "good.apk");
  std::string whole = test::ReadFile(good);
  test::WriteFile(dir / "truncated.apk", whole.substr(0, whole.size() / 2));
  std::string damaged = whole;
  for (std::size_t i = damaged.size() - 200; i < damaged.size(); ++i) damaged[i] ^= 0x5a;
  test::WriteFile(dir / "damaged.apk", damaged);
  for (const char* name : {"text.apk", "truncated.apk", "damaged.apk", "missing.apk"}) {
    ApkBadging info = Read(dir / name);
    EXPECT_TRUE(info.packageName.empty()) << name;
    EXPECT_TRUE(info.label.empty()) << name;
  }

  // Forged package names: ".." compiles with aapt; "/" needs a patched manifest.
  ApkSpec dots;
  dots.packageName = "com.lumo..evil";
  EXPECT_TRUE(Read(Built(dots, dir / "dots.apk")).packageName.empty());
  ApkSpec slash;
  slash.packageName = "com.lumo.e.vil";
  Built(slash, dir / "slash.apk");
  ASSERT_TRUE(test::PatchManifestText(dir / "slash.apk", "com.lumo.e.vil", "../../../evilx"));
  ApkBadging forged = Read(dir / "slash.apk");
  EXPECT_TRUE(forged.packageName.empty());
  EXPECT_EQ(forged.label, "Sample Game");  // the rest is still read

  SetAaptPathForTest(dir / "no-such-aapt");
  EXPECT_TRUE(Read(good).packageName.empty());
  SetAaptPathForTest(kProgramFolderAapt);
  EXPECT_EQ(Read(good).packageName, "com.lumo.sample");

  EXPECT_TRUE(LogReaches(kPackageError, before + 7));
  std::string log = test::CapturedLog();
  EXPECT_NE(log.find("package: name='../../../evilx'"), std::string::npos);
}

}  // namespace
}  // namespace lumo
