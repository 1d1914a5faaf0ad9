#include "stat/data-stat.h"

#include <gtest/gtest.h>

#include "platform/dynamic-library.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using test::ReadFile;
using test::SandboxHome;

std::string StatSinkPath() {
  return std::string(LUMO_PROGRAM_DIR) + "/" + platform::SharedLibraryFileName("StatSink");
}

TEST(DataStat, EventsAndTheExitCallReachTheLibraryFile) {
  SandboxHome home;
  DataStat stat;
  stat.initFrom(StatSinkPath());
  ASSERT_TRUE(stat.hasSendLog());
  ASSERT_TRUE(stat.hasAppLogExit());
  stat.SendLog(100);
  stat.SendLog(203, "com.example.game\twith tab", 7);
  stat.AppLogExit();
  stat.Free();
  EXPECT_FALSE(stat.hasSendLog());
  stat.SendLog(300);  // after unloading: skipped, not a crash

  std::string text = ReadFile(home.appDir() + "/statsink.log");
  auto first = text.find("\tSendLog\t100\t\t0\n");
  auto second = text.find("\tSendLog\t203\tcom.example.game with tab\t7\n");
  auto exit = text.find("\tAppLogExit\n");
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_LT(first, second);
  EXPECT_LT(second, exit);
  EXPECT_EQ(text.find("\t300\t"), std::string::npos);
}

TEST(DataStat, WithoutTheLibraryEveryCallIsSkipped) {
  DataStat stat;
  stat.initFrom("/nonexistent/libStatSink.so");
  EXPECT_FALSE(stat.hasSendLog());
  EXPECT_FALSE(stat.hasAppLogExit());
  stat.SendLog(100);
  stat.AppLogExit();
  stat.Free();
  stat.Free();
}

}  // namespace
}  // namespace lumo
