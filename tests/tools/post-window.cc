// Posts a window message to a top-level window of this user, found by class and title, as
// another program would. Exit status 0 when a window was found.
#include <cstdio>
#include <cstdlib>

#include "platform/window.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s CLASS TITLE MSG WPARAM LPARAM\n", argv[0]);
    return 2;
  }
  bool posted = lumo::platform::PostToTopLevelWindow(
      argv[1], argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)),
      std::strtoull(argv[4], nullptr, 10), std::strtoll(argv[5], nullptr, 10));
  return posted ? 0 : 1;
}
