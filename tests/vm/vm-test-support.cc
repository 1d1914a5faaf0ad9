#include "tests/vm/vm-test-support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "platform/file-system.h"
#include "platform/process.h"
#include "platform/ui-loop.h"
#include "tests/support/apk-builder.h"
#include "tests/support/wait.h"
#include "vm/player-runtime.h"

namespace lumo::test {

RawPeer::RawPeer(const std::string& serverName) {
  std::string path = vmbridge::SocketPath(serverName);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) Close();
}

RawPeer::~RawPeer() {
  Close();
}

void RawPeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool RawPeer::SendBytes(const std::string& bytes) {
  return vmbridge::WriteAll(fd_, bytes);
}

bool RawPeer::SendText(std::uint32_t type, const std::string& text) {
  return SendBytes(vmbridge::EncodeFrame(type, text.c_str(), text.size() + 1));
}

bool RawPeer::Read(vmbridge::Frame* frame, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (reader_.Next(frame) != vmbridge::FrameReader::Result::kFrame) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fds{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&fds, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    reader_.Feed(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

bool RawPeer::WaitClosed(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fds{fd_, POLLIN, 0};
    if (poll(&fds, 1, 100) <= 0) continue;
    if (recv(fd_, buffer, sizeof(buffer), 0) <= 0) return true;
  }
  return false;
}

RawLumo::RawLumo(const std::string& serverName) : path_(vmbridge::SocketPath(serverName)) {
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
  unlink(path_.c_str());
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listenFd_, 4) != 0) {
    close(listenFd_);
    listenFd_ = -1;
  }
}

RawLumo::~RawLumo() {
  peer_.reset();
  if (listenFd_ >= 0) close(listenFd_);
  unlink(path_.c_str());
}

bool RawLumo::Accept(int timeoutMs) {
  pollfd fds{listenFd_, POLLIN, 0};
  if (listenFd_ < 0 || poll(&fds, 1, timeoutMs) <= 0) return false;
  int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return false;
  peer_ = std::make_unique<RawPeer>(fd);
  return true;
}

bool RawLumo::SendText(std::uint32_t type, const std::string& text) {
  return peer_ && peer_->SendText(type, text);
}

bool RawLumo::ReadText(std::uint32_t type, std::string* text, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  vmbridge::Frame frame;
  while (peer_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !peer_->Read(&frame, static_cast<int>(left.count()))) return false;
    if (frame.type != type) continue;
    *text = frame.data.substr(0, frame.data.find('\0'));
    return true;
  }
  return false;
}

std::ostream& operator<<(std::ostream& out, const UiMessage& message) {
  return out << "{" << message.id << ", \"" << message.package << "\", " << message.value << "}";
}

UiRecorder::UiRecorder() {
  platform::MarkUiThread();
  window_ =
      platform::CreateMessageWindow("VmTestWindow", "VmTestWindow",
                                    [this](std::uint32_t msg, platform::WParam, platform::LParam) {
                                      return Dispatcher::instance()->Dispatch(window_, msg);
                                    });
  auto dispatcher = Dispatcher::instance();
  dispatcher->Register(MSG_INSTALL_START, window_, [this](const InstallStart& start) {
    messages_.push_back({MSG_INSTALL_START.id, start.packageName, start.seconds});
  });
  dispatcher->Register(MSG_UNINSTALL_START, window_, [this](const std::string& packageName) {
    messages_.push_back({MSG_UNINSTALL_START.id, packageName, 0});
  });
  for (const Message<PlayerResult>& message :
       {MSG_INSTALL_DONE, MSG_UNINSTALL_DONE, MSG_LAUNCH_FAILED}) {
    dispatcher->Register(message, window_, [this, id = message.id](const PlayerResult& result) {
      messages_.push_back({id, result.packageName, result.code});
    });
  }
  dispatcher->Register(MSG_SHOW_MAIN, window_, [this] {
    messages_.push_back({MSG_SHOW_MAIN, "", 0});
  });
}

UiRecorder::~UiRecorder() {
  Close();
}

void UiRecorder::Close() {
  if (!window_) return;
  for (std::uint32_t id : {MSG_INSTALL_START.id, MSG_INSTALL_DONE.id, MSG_UNINSTALL_START.id,
                           MSG_UNINSTALL_DONE.id, MSG_SHOW_MAIN, MSG_LAUNCH_FAILED.id})
    Dispatcher::instance()->Unregister(id, window_);
  platform::DestroyMessageWindow(window_);
  window_ = 0;
}

std::vector<UiMessage> UiRecorder::Of(std::uint32_t id) const {
  std::vector<UiMessage> found;
  for (const UiMessage& message : messages_)
    if (message.id == id) found.push_back(message);
  return found;
}

bool UiRecorder::WaitFor(std::uint32_t id, std::size_t count, int timeoutMs) {
  return test::WaitFor([&] { return Of(id).size() >= count; }, std::chrono::milliseconds(timeoutMs),
                       true);
}

std::string BuiltSetupPath() {
  return std::string(LUMO_PROGRAM_DIR) + "/AKTInstaller.exe";
}

bool InstallTestPlayer() {
  int exitCode = -1;
  return platform::SpawnAndWait(PlayerSetupCommand(BuiltSetupPath()), &exitCode) && exitCode == 0 &&
         IsPlayerInstalled();
}

std::vector<int> PlayerProcesses() {
  return platform::FindProcessesByImageName(kPlayerImageName);
}

void StopAllPlayers() {
  for (int pid : PlayerProcesses()) {
    kill(pid, SIGCONT);
    platform::TerminateProcess(pid);
    platform::WaitForProcessEnd(pid, 10000);
  }
}

std::string PlayerLogText(const SandboxHome& home) {
  return ReadFile(home.dataHome() + "/LUMPlayer/runbox.log");
}

std::string LumoLogText(const SandboxHome& home) {
  std::string text;
  std::error_code ignored;
  for (auto& entry : std::filesystem::directory_iterator(home.appDir() + "/log", ignored))
    text += ReadFile(entry.path());
  return text;
}

std::string MakeApk(const std::string& folder, const std::string& package, const std::string& label,
                    std::vector<std::string> abis, std::uint64_t payloadBytes) {
  ApkSpec recipe;
  recipe.packageName = package;
  recipe.label = label;
  recipe.nativeAbis = std::move(abis);
  recipe.payloadBytes = payloadBytes;
  std::string path = folder + "/" + package + ".apk", error;
  EXPECT_TRUE(BuildApk(recipe, path, &error)) << error;
  return path;
}

}  // namespace lumo::test
