#include "platform/window-datagram.h"

namespace lumo::platform {

namespace {

// Four lines: the format's name, the window class, the window title and the decimal id.
constexpr std::string_view kMagic = "LUMOWIN2";

// Takes the text up to the next line end off the front of `rest`; false when there is none.
bool TakeLine(std::string_view* rest, std::string_view* line) {
  std::size_t end = rest->find('\n');
  if (end == std::string_view::npos) return false;
  *line = rest->substr(0, end);
  rest->remove_prefix(end + 1);
  return true;
}

bool ParseId(std::string_view text, std::uint32_t* id) {
  // One spelling per id: no sign, no leading zeros.
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

bool TakesCrossProcessMessages(std::string_view className, std::string_view title) {
  for (const CrossProcessRoute& route : kCrossProcessRoutes)
    if (route.className == className && route.title == title) return true;
  return false;
}

std::string FormatWindowDatagram(const WindowDatagram& datagram) {
  std::string text(kMagic);
  text += '\n' + datagram.className + '\n' + datagram.title + '\n' + std::to_string(datagram.msg);
  return text + '\n';
}

bool ParseWindowDatagram(std::string_view bytes, WindowDatagram* datagram) {
  if (bytes.size() > kMaxWindowDatagram || bytes.find('\0') != std::string_view::npos) return false;
  std::string_view magic, className, title, id;
  if (!TakeLine(&bytes, &magic) || magic != kMagic || !TakeLine(&bytes, &className) ||
      !TakeLine(&bytes, &title) || !TakeLine(&bytes, &id) || !bytes.empty())
    return false;
  std::uint32_t msg = 0;
  if (!ParseId(id, &msg)) return false;
  datagram->className = className;
  datagram->title = title;
  datagram->msg = msg;
  return true;
}

}  // namespace lumo::platform
