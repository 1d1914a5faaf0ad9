// Runbox.exe: the emulator player that Lumo drives through its bridge.
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "components/player/player-config.h"
#include "components/player/player-log.h"
#include "components/player/player-session.h"
#include "components/player/player-view.h"
#include "platform/file-system.h"

namespace {

constexpr int kExitBadConfig = 2;
constexpr int kExitAlreadyRunning = 3;

// One player per session: a second one, started by hand or by a hurried Lumo, leaves at once.
bool TakePlayerLock() {
  std::string folder = lumo::platform::RuntimeFolder();
  if (folder.empty()) return true;
  int fd = open((folder + "/Runbox.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  // The descriptor stays open for the life of the process.
  return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  runbox::PlayerConfig config;
  std::string error;
  if (!runbox::LoadPlayerConfig(argc, argv, &config, &error)) {
    std::fprintf(stderr, "Runbox: %s\n", error.c_str());
    return kExitBadConfig;
  }
  lumo::platform::MakeDirs(config.dataDir);
  runbox::OpenPlayerLog(config.dataDir);
  if (!TakePlayerLock()) {
    runbox::PlayerLog("another player is running; this one ends");
    return kExitAlreadyRunning;
  }
  std::unique_ptr<runbox::PlayerView> view;
  if (!config.headless) view = runbox::CreateWindowView(&argc, &argv);
  if (!view) view = runbox::CreateHeadlessView();
  runbox::PlayerSession session(config, view.get());
  session.Start();
  view->Run();
  session.Stop();
  runbox::PlayerLog("player ended");
  return 0;
}
