#include "app/application.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "app/log.h"
#include "platform/single-instance.h"
#include "platform/ui-loop.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using test::ReadFile;
using test::SandboxHome;

// Records the order in which the run routine drives the front end.
class FakeFrontEnd : public FrontEnd {
 public:
  std::string calls;
  bool display = true;

  bool OpenDisplay(std::string* error) override {
    calls += "display ";
    if (!display) *error = "cannot open display :99";
    return display;
  }
  bool SetUpToolkit(const std::string& exeDir, std::string*) override {
    calls += exeDir.empty() ? "toolkit(?) " : "toolkit ";
    return true;
  }
  bool CreateMainWindow(std::string*) override {
    calls += "create ";
    return true;
  }
  void ShowMainWindow() override { calls += "show "; }
  int RunMessageLoop() override {
    calls += "loop ";
    platform::QuitUiLoop(0);
    return platform::RunUiLoop();
  }
  void DeleteMainWindow() override { calls += "delete "; }
};

std::string LogText(const SandboxHome& home) {
  std::string text;
  for (auto& entry : std::filesystem::directory_iterator(home.appDir() + "/log"))
    text += ReadFile(entry.path());
  return text;
}

// Each run happens in a child process: the run routine owns process-wide singletons.
TEST(ApplicationDeathTest, RunsTheStepsInOrderAndExitsZero) {
  GTEST_FLAG_SET(death_test_style, "fast");
  SandboxHome home;
  EXPECT_EXIT(
      {
        FakeFrontEnd frontEnd;
        int status = Application("lumo", &frontEnd).Run();
        bool ordered = frontEnd.calls == "display toolkit create show loop delete ";
        std::exit(ordered ? status : 3);
      },
      ::testing::ExitedWithCode(0), "");
  std::string log = LogText(home);
  EXPECT_NE(log.find("starting."), std::string::npos) << log;
  EXPECT_NE(log.find("Lumo shut down.\r\n"), std::string::npos) << log;
}

TEST(ApplicationDeathTest, NoDisplayMeansOneClearLineAndAFailureStatus) {
  GTEST_FLAG_SET(death_test_style, "fast");
  SandboxHome home;
  EXPECT_EXIT(
      {
        FakeFrontEnd frontEnd;
        frontEnd.display = false;
        int status = Application("lumo", &frontEnd).Run();
        std::exit(frontEnd.calls == "display " ? status : 3);
      },
      ::testing::ExitedWithCode(1), "lumo: cannot open display :99");
  EXPECT_NE(LogText(home).find("start-up failed: cannot open display :99"), std::string::npos);
}

TEST(ApplicationDeathTest, SecondInstanceExitsWithMinusOne) {
  GTEST_FLAG_SET(death_test_style, "fast");
  SandboxHome home;
  EXPECT_EXIT(
      {
        platform::SingleInstanceLock first(kSingleInstanceName);
        FakeFrontEnd frontEnd;
        int status = RunSingleInstance("lumo", &frontEnd);
        std::exit(frontEnd.calls.empty() ? status & 0xff : 3);
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace lumo
