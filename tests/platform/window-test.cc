#include "platform/window.h"

#include <cstring>
#include <filesystem>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "app/scope-guard.h"
#include "platform/file-system.h"
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
  // Parameters never cross processes.
  EXPECT_EQ(received[0].msg, 1042u);
  EXPECT_EQ(received[0].wParam, 0u);
  EXPECT_EQ(received[0].lParam, 0);

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

// Sends `bytes` to the socket at `path` from a child process running as `uid`.
bool SendFromChild(uid_t uid, const std::string& path, const std::string& bytes) {
  pid_t pid = fork();
  if (pid == 0) {
    if (uid != getuid() && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0))
      _exit(2);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    _exit(sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
                 sizeof(address)) == static_cast<ssize_t>(bytes.size())
              ? 0
              : 1);
  }
  // The window's queue is short: the UI loop serves it while the child sends.
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) PumpUiLoop();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(TopLevelWindow, OnlyTheIdsMeantToCrossGetThroughAndOnlyFromThisUser) {
  test::SandboxHome home;
  MarkUiThread();
  std::vector<std::string> reports;
  SetWindowChannelReport([&](const std::string& text) { reports.push_back(text); });
  ScopeGuard restore([] {
    SetWindowChannelReport(nullptr);
    unsetenv("TMPDIR");
  });
  // The attack's setting: a runtime folder open to everyone and no umask. Lumo makes its own.
  std::string open = home.home() + "/open";
  mkdir(open.c_str(), 0777);
  chmod(open.c_str(), 0777);
  chmod(home.home().c_str(), 0711);
  setenv("XDG_RUNTIME_DIR", open.c_str(), 1);
  setenv("TMPDIR", home.home().c_str(), 1);
  mode_t mask = umask(0);
  std::vector<Received> received;
  WindowHandle window = CreateMessageWindow("MainFrame", "Lumo", [&](auto m, auto w, auto l) {
    received.push_back({m, w, l});
    return true;
  });
  umask(mask);
  std::string folder = RuntimeFolder();
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  std::string socketPath;
  for (auto& entry : std::filesystem::directory_iterator(folder)) socketPath = entry.path();
  ASSERT_EQ(stat(socketPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // The ids whose parameters are pointers inside Lumo, with numbers that look like pointers,
  // and a quit meant for another window: all dropped. Only the last one gets through.
  for (int id : {1025, 1037, 1039, 1044, 1045}) {
    std::string ids = std::to_string(id);
    EXPECT_TRUE(SendFromChild(getuid(), socketPath,
                              "LUMOWIN1\nMainFrame\nLumo\n" + ids + " 140737488355328 4096\n"));
    EXPECT_TRUE(SendFromChild(getuid(), socketPath, "LUMOWIN2\nMainFrame\nLumo\n" + ids + "\n"));
  }
  EXPECT_TRUE(SendFromChild(getuid(), socketPath, "LUMOWIN2\nMainFrame\nLumo更新程序\n2024\n"));
  const std::string wake = "LUMOWIN2\nMainFrame\nLumo\n1042\n";
  EXPECT_TRUE(SendFromChild(getuid(), socketPath, wake));
  ASSERT_TRUE(test::WaitFor([&] { return !received.empty(); }, std::chrono::seconds(20), true));
  EXPECT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].msg, 1042u);

  if (getuid() == 0) {
    // Another user cannot reach the socket; with the folder opened up, it is turned away.
    EXPECT_FALSE(SendFromChild(65534, socketPath, wake));
    chmod(folder.c_str(), 0711);
    chmod(socketPath.c_str(), 0666);
    EXPECT_TRUE(SendFromChild(65534, socketPath, wake));
    EXPECT_TRUE(SendFromChild(getuid(), socketPath, wake));
    ASSERT_TRUE(
        test::WaitFor([&] { return received.size() >= 2; }, std::chrono::seconds(20), true));
    for (int i = 0; i < 20; ++i) PumpUiLoop();
    EXPECT_EQ(received.size(), 2u);
    chmod(folder.c_str(), 0700);
  }
  // One report however many were dropped.
  EXPECT_EQ(reports.size(), 1u);
  DestroyMessageWindow(window);
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
