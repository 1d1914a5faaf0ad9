#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/vmbridge/vm-frame.h"
#include "platform/window.h"
#include "tests/support/sandbox.h"

namespace lumo::test {

// A bridge peer speaking the wire format by hand: for tests that must send what a real player
// never would.
class RawPeer {
 public:
  explicit RawPeer(const std::string& serverName = "andkite0");
  // A connection already made, which the peer then owns.
  explicit RawPeer(int connectedFd) : fd_(connectedFd) {}
  ~RawPeer();
  bool connected() const { return fd_ >= 0; }
  bool SendBytes(const std::string& bytes);
  bool SendText(std::uint32_t type, const std::string& text);
  // The next frame, or false after `timeoutMs` or when the bridge closed the connection.
  bool Read(vmbridge::Frame* frame, int timeoutMs = 10000);
  // True when the bridge has closed the connection (within `timeoutMs`).
  bool WaitClosed(int timeoutMs = 10000);
  void Close();

 private:
  int fd_ = -1;
  vmbridge::FrameReader reader_;
};

// Lumo's end of the bridge spoken by hand: the server a player connects to, for tests that
// read every message the player sends, whatever Lumo does with it.
class RawLumo {
 public:
  explicit RawLumo(const std::string& serverName);
  ~RawLumo();
  // Waits for a player to connect; it then replaces the last one.
  bool Accept(int timeoutMs = 10000);
  bool SendText(std::uint32_t type, const std::string& text);
  // The text (without its NUL) of the next message of `type`; the others before it are
  // skipped. False after `timeoutMs`.
  bool ReadText(std::uint32_t type, std::string* text, int timeoutMs = 30000);

 private:
  std::string path_;
  int listenFd_ = -1;
  std::unique_ptr<RawPeer> peer_;
};

// One message the UI would receive, with its parameters decoded.
struct UiMessage {
  std::uint32_t id = 0;
  std::string package;
  long long value = 0;  // seconds for 1030, the error code for 1031 and 1035
  bool operator==(const UiMessage&) const = default;
};
std::ostream& operator<<(std::ostream& out, const UiMessage& message);

// A message window on the test thread registered with the Dispatcher for every message the
// emulator part sends to the UI. Messages are recorded as the window handles them.
class UiRecorder {
 public:
  UiRecorder();
  ~UiRecorder();
  // Unregisters and destroys the window, as the closing main window does.
  void Close();
  std::vector<UiMessage> messages() const { return messages_; }
  std::vector<UiMessage> Of(std::uint32_t id) const;
  // Pumps the UI loop until `count` messages of `id` arrived.
  bool WaitFor(std::uint32_t id, std::size_t count = 1, int timeoutMs = 30000);
  platform::WindowHandle window() const { return window_; }

 private:
  platform::WindowHandle window_ = 0;
  std::vector<UiMessage> messages_;
};

// The path of the freshly built setup program in the program folder.
std::string BuiltSetupPath();
// Installs the player into the sandbox's programs folder with the real setup; false on failure.
bool InstallTestPlayer();
// Ends every player of this session.
void StopAllPlayers();
std::vector<int> PlayerProcesses();
// The player's log in its data folder (under the sandbox's XDG_DATA_HOME).
std::string PlayerLogText(const SandboxHome& home);
std::string LumoLogText(const SandboxHome& home);
// An aapt-built APK of `package` in `folder`, named after it; with native code for `abis` and
// `payloadBytes` of filler when given. The path, or a failed expectation.
std::string MakeApk(const std::string& folder, const std::string& package, const std::string& label,
                    std::vector<std::string> abis = {}, std::uint64_t payloadBytes = 0);

}  // namespace lumo::test
