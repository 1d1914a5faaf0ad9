// The statistics library: records each usage event as one line of a file in the user's
// folder. It sends nothing anywhere.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string EventFile() {
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME")) {
    base = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  std::string folder = base + "/lum";
  mkdir(folder.c_str(), 0755);
  return folder + "/statsink.log";
}

// Tabs and line breaks in a text would split the record.
std::string Clean(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out;
}

void AppendLine(const std::string& record) {
  std::string path = EventFile();
  if (path.empty()) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
  std::string line = std::string(stamp) + "\t" + record + "\n";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write per line: O_APPEND keeps lines of concurrent writers whole.
  ssize_t ignored = write(fd, line.data(), line.size());
  (void)ignored;
  close(fd);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void SendLog(int eventId, const char* text,
                                                               int value) {
  AppendLine("SendLog\t" + std::to_string(eventId) + "\t" + Clean(text) + "\t" +
             std::to_string(value));
}

extern "C" __attribute__((visibility("default"))) void AppLogExit() {
  AppendLine("AppLogExit");
}
