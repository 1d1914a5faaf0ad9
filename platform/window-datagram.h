#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumo::platform {

// What another process may post to a window of this user: the window, named by class and
// title, and a message id. Nothing else crosses, so no parameter from outside is ever read as
// memory; the receiver sees wParam and lParam 0.
struct WindowDatagram {
  std::string className;
  std::string title;
  std::uint32_t msg = 0;
};

struct CrossProcessRoute {
  std::string_view className;
  std::string_view title;
  std::uint32_t msg;
};

// The only messages that cross processes: a second start wakes the main window (1042), and
// Lumo and its updater ask each other to quit (2024). A window that takes none of them is not
// reachable from outside at all.
inline constexpr CrossProcessRoute kCrossProcessRoutes[] = {
    {"MainFrame", "Lumo", 1042},
    {"MainFrame", "Lumo", 2024},
    {"MainFrame", "Lumo更新程序", 2024},
};

constexpr bool IsCrossProcessMessage(std::string_view className, std::string_view title,
                                     std::uint32_t msg) {
  for (const CrossProcessRoute& route : kCrossProcessRoutes)
    if (route.className == className && route.title == title && route.msg == msg) return true;
  return false;
}

// True when some message may reach the window from another process.
bool TakesCrossProcessMessages(std::string_view className, std::string_view title);

inline constexpr std::size_t kMaxWindowDatagram = 1024;

std::string FormatWindowDatagram(const WindowDatagram& datagram);
// False for anything but one whole datagram of this format within kMaxWindowDatagram bytes.
bool ParseWindowDatagram(std::string_view bytes, WindowDatagram* datagram);

}  // namespace lumo::platform
