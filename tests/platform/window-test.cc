#include "platform/window.h"

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui-loop.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo::platform {
namespace {

struct Received {
  std::uint32_t msg;
  WParam wParam;
  LParam lParam;
};

// Another program of the same user posts to the window.
bool PostFromChild(const std::string& className, const std::string& title, std::uint32_t msg) {
  pid_t pid = fork();
  if (pid == 0) {
    std::string text = std::to_string(msg);
    execl(LUMO_TEST_BIN_DIR "/lumo-post-window", "lumo-post-window", className.c_str(),
          title.c_str(), text.c_str(), "7", "-9", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(TopLevelWindow, AnotherProcessFindsItByClassAndTitleAndPostsToIt) {
  test::SandboxHome home;
  MarkUiThread();
  std::vector<Received> received;
  WindowHandle window = CreateMessageWindow("MainFrame", "MainFrame", [&](auto m, auto w, auto l) {
    received.push_back({m, w, l});
    return true;
  });
  EXPECT_FALSE(PostFromChild("MainFrame", "Lumo", 1042));  // not titled yet
  SetMessageWindowTitle(window, "Lumo");
  EXPECT_TRUE(FindTopLevelWindow("MainFrame", "Lumo"));
  EXPECT_FALSE(FindTopLevelWindow("MainFrame", "MainFrame"));
  EXPECT_FALSE(PostFromChild("Other", "Lumo", 1042));
  ASSERT_TRUE(PostFromChild("MainFrame", "Lumo", 1042));
  ASSERT_TRUE(test::WaitFor([&] { return !received.empty(); }, std::chrono::seconds(20), true));
  EXPECT_EQ(received[0].msg, 1042u);
  EXPECT_EQ(received[0].wParam, 7u);
  EXPECT_EQ(received[0].lParam, -9);

  // Garbage on the socket is ignored.
  std::string socketPath;
  for (auto& entry : std::filesystem::directory_iterator(home.runtimeDir()))
    if (entry.path().filename().string().rfind("lumo-window-", 0) == 0) socketPath = entry.path();
  ASSERT_FALSE(socketPath.empty());
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  sendto(fd, "junk\n\n", 6, 0, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  close(fd);
  for (int i = 0; i < 20; ++i) PumpUiLoop();
  EXPECT_EQ(received.size(), 1u);

  DestroyMessageWindow(window);
  EXPECT_FALSE(std::filesystem::exists(socketPath));
  EXPECT_FALSE(FindTopLevelWindow("MainFrame", "Lumo"));
}

TEST(TopLevelWindow, ASocketLeftByACrashIsReplaced) {
  test::SandboxHome home;
  MarkUiThread();
  // A crashed instance leaves its socket file behind: bind it and exit without unlinking.
  pid_t pid = fork();
  if (pid == 0) {
    CreateMessageWindow("MainFrame", "Lumo", [](auto, auto, auto) { return true; });
    _exit(0);
  }
  waitpid(pid, nullptr, 0);
  EXPECT_FALSE(FindTopLevelWindow("MainFrame", "Lumo"));
  int calls = 0;
  WindowHandle window = CreateMessageWindow("MainFrame", "Lumo", [&](auto, auto, auto) {
    ++calls;
    return true;
  });
  ASSERT_TRUE(PostFromChild("MainFrame", "Lumo", 1042));
  EXPECT_TRUE(test::WaitFor([&] { return calls == 1; }, std::chrono::seconds(20), true));
  DestroyMessageWindow(window);
}

}  // namespace
}  // namespace lumo::platform
