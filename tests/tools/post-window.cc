// Posts a window message to a top-level window of this user, found by class and title, as
// another program would. Exit status 0 when a window was found.
// With --wait it plays the other side: it opens a window of that class and title and ends
// with status 0 when the message arrives there.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ui-loop.h"
#include "platform/window.h"

namespace {

std::uint32_t Number(const char* text) {
  return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

int WaitFor(const char* className, const char* title, std::uint32_t wanted) {
  lumo::platform::MarkUiThread();
  lumo::platform::CreateMessageWindow(className, title, [wanted](std::uint32_t msg, auto, auto) {
    if (msg == wanted) lumo::platform::QuitUiLoop(0);
    return true;
  });
  std::printf("ready\n");
  std::fflush(stdout);
  return lumo::platform::RunUiLoop();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--wait") == 0)
    return WaitFor(argv[2], argv[3], Number(argv[4]));
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s CLASS TITLE MSG WPARAM LPARAM | --wait CLASS TITLE MSG\n",
                 argv[0]);
    return 2;
  }
  bool posted = lumo::platform::PostToTopLevelWindow(argv[1], argv[2], Number(argv[3]),
                                                     std::strtoull(argv[4], nullptr, 10),
                                                     std::strtoll(argv[5], nullptr, 10));
  return posted ? 0 : 1;
}
