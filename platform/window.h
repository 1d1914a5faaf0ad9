#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace lumo::platform {

// Window message parameters are plain numbers. Anything else reaches a window as a call
// (SendWindowCall), never as an address in a parameter.
using WindowHandle = std::uintptr_t;  // 0 is no window
using WParam = std::uintptr_t;
using LParam = std::intptr_t;

// A window's message procedure; runs on the UI thread. Returns true when it handled the
// message.
using WindowProc = std::function<bool(std::uint32_t msg, WParam wParam, LParam lParam)>;

// Registers a top-level window with a class and a title. UI thread only. The window can then
// be found by class and title from this process and from other processes of the same user.
WindowHandle CreateMessageWindow(const std::string& className, const std::string& title,
                                 WindowProc proc);
void SetMessageWindowTitle(WindowHandle window, const std::string& title);
// Pending sends to the window whose procedure or call has not started yet are released (they
// return false); later messages are dropped.
void DestroyMessageWindow(WindowHandle window);
bool IsMessageWindow(WindowHandle window);

// Any thread. False when the window does not exist.
bool PostWindowMessage(WindowHandle window, std::uint32_t msg, WParam wParam, LParam lParam);
// Any thread; blocks until the window's procedure has run. From the UI thread it is a direct
// call. Yields what the procedure returned (true: handled); false when the window does not
// exist or went away before handling the message.
bool SendWindowMessage(WindowHandle window, std::uint32_t msg, WParam wParam, LParam lParam);
// Any thread; runs `call` on the UI thread on behalf of `window` and blocks until it has run,
// so `call` may refer to the caller's stack. From the UI thread it is a direct call. Yields
// what `call` returned; false, without running it, when the window does not exist or goes
// away before the UI thread reaches the call. A call that has started runs to its end.
bool SendWindowCall(WindowHandle window, std::function<bool()> call);

// Finds a top-level window of this user by class and title, in this process or another one,
// and posts it a message. To another process only the ids of kCrossProcessRoutes
// (platform/window-datagram.h) go, and without their parameters: the window there sees 0, 0.
// False when none was found or the id may not cross.
bool PostToTopLevelWindow(const std::string& className, const std::string& title, std::uint32_t msg,
                          WParam wParam, LParam lParam);
bool FindTopLevelWindow(const std::string& className, const std::string& title);

// Data messages: a copy of a few bytes for a window of another process of this user, the
// way file names reach a running program. A window takes only the ids it accepted, and its
// procedure gets the bytes themselves, never an address.
inline constexpr std::size_t kMaxWindowData = std::size_t{60} * 1024;
using WindowDataProc = std::function<void(const std::string& data)>;
// UI thread. Data of message `msg` that reaches `window` goes to `proc` (on the UI thread);
// an empty `proc` refuses the id again.
void AcceptWindowData(WindowHandle window, std::uint32_t msg, WindowDataProc proc);
// Any thread. Sends `data`, at most kMaxWindowData bytes, as message `msg` to the top-level
// window of this class and title. False when it is too long or no window took the datagram.
bool PostDataToTopLevelWindow(const std::string& className, const std::string& title,
                              std::uint32_t msg, const std::string& data);

// Where the window channel reports what it dropped from other processes (stderr until set).
// Called on the UI thread, at most once every few seconds.
void SetWindowChannelReport(std::function<void(const std::string&)> report);

}  // namespace lumo::platform
