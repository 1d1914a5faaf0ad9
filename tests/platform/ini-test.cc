#include "platform/ini.h"

#include <gtest/gtest.h>

#include "tests/support/sandbox.h"

namespace lumo::platform {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Ini, ReadsCaseInsensitivelyWithDefaultsAndBufferLimits) {
  TempDir dir;
  std::string path = dir / "a.ini";
  WriteFile(path,
            "; comment\r\n[Config]\r\n  HomeUrl = http://x/?a=b \r\nquoted=\"  spaced  \"\r\n"
            "long=0123456789\r\nchinese=开始游戏吧\r\n[other]\r\nhomeurl=wrong\r\n");
  EXPECT_EQ(ReadProfileString(path, "config", "homeurl", "d", 2048), "http://x/?a=b");
  EXPECT_EQ(ReadProfileString(path, "CONFIG", "quoted", "d", 2048), "  spaced  ");
  EXPECT_EQ(ReadProfileString(path, "config", "long", "d", 5), "0123");
  EXPECT_EQ(ReadProfileString(path, "config", "chinese", "d", 3), "开始");
  EXPECT_EQ(ReadProfileString(path, "config", "missing", "fallback", 260), "fallback");
  EXPECT_EQ(ReadProfileString(path, "nosection", "homeurl", "", 260), "");
  EXPECT_EQ(ReadProfileString(dir / "absent.ini", "config", "k", "dflt", 260), "dflt");
}

TEST(Ini, WriteCreatesFileAndSectionAndReplacesInPlace) {
  TempDir dir;
  std::string path = dir / "b.ini";
  ASSERT_TRUE(WriteProfileString(path, "setting", "minOnClose", "1"));
  ASSERT_TRUE(WriteProfileString(path, "setting", "quitRemember", "0"));
  ASSERT_TRUE(WriteProfileString(path, "other", "k", "v"));
  ASSERT_TRUE(WriteProfileString(path, "SETTING", "MINONCLOSE", "0"));
  ASSERT_TRUE(WriteProfileString(path, "setting", "dataDir", "/d"));
  EXPECT_FALSE(WriteProfileString(path, "setting", "dataDir", "/e\r\n[other]\r\nk=w"));
  EXPECT_EQ(ReadFile(path),
            "[setting]\r\nMINONCLOSE=0\r\nquitRemember=0\r\ndataDir=/d\r\n[other]\r\nk=v\r\n");
}

TEST(Ini, WriteIntoAnUnwritableFolderFailsAndKeepsNothingHalfWritten) {
  EXPECT_FALSE(WriteProfileString("/nonexistent/dir/c.ini", "s", "k", "v"));
}

}  // namespace
}  // namespace lumo::platform
