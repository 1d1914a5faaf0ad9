#include "vm/player-runtime.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/worker-pool.h"
#include "platform/file-system.h"
#include "platform/ini.h"
#include "platform/process.h"
#include "platform/system.h"

namespace lumo {

namespace {

constexpr int kStopPolls = 100;
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);
// A killed process ends at once; this only bounds a process stuck in the kernel.
constexpr int kTerminateWaitMs = 10000;

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

}  // namespace

std::string ProgramFilesDir() {
  return EnvOr("LUMO_PROGRAMS_DIR", PathJoin(platform::LocalAppDataFolder(), "Programs"));
}

std::string PlayerInstallDir() {
  return PathJoin(ProgramFilesDir(), kPlayerFolderName);
}

std::string PlayerExePath() {
  return PathJoin(PlayerInstallDir(), kPlayerImageName);
}

std::string PlayerSetupUrl() {
  std::string host = platform::ReadProfileString(PathJoin(ExeDir(), "cfglog.ini"), "config",
                                                 "playerHost", kDefaultStoreHost, 2048);
  host = EnvOr("LUMO_PLAYER_HOST", host);
  while (!host.empty() && host.back() == '/') host.pop_back();
  const char* file = platform::Is64BitOperatingSystem() ? "Setup64.exe" : "Setup32.exe";
  return host + "/download/AKTU/Runbox/" + file;
}

std::vector<std::string> PlayerSetupCommand(const std::string& setupPath) {
  return {setupPath, "/S", "/NCRC", "/D=" + PlayerInstallDir()};
}

bool IsPlayerInstalled() {
  return platform::PathExists(PlayerExePath());
}

bool IsPlayerRunning() {
  return !platform::FindProcessesByImageName(kPlayerImageName).empty();
}

bool LaunchPlayer() {
  std::string exe = PlayerExePath();
  if (platform::SpawnDetached({exe}) < 0)
    Log::instance()->write("cannot start the player %s", exe.c_str());
  return true;
}

bool StopPlayer() {
  std::vector<int> players = platform::FindProcessesByImageName(kPlayerImageName);
  if (players.empty()) return false;
  int pid = players.front();
  if (!platform::TerminateProcess(pid)) return false;
  platform::WaitForProcessEnd(pid, kTerminateWaitMs);
  for (int poll = 0; poll < kStopPolls && IsPlayerRunning(); ++poll)
    std::this_thread::sleep_for(kStopPollInterval);
  Log::instance()->write("player %d stopped.", pid);
  return true;
}

bool InstallPlayerAsync(WorkerPool& jobs, const std::string& setupPath) {
  jobs.Run("player setup", [command = PlayerSetupCommand(setupPath)] {
    // Downloaded files are not executable; this one is ours to run.
    platform::MarkExecutable(command.front());
    int exitCode = 0;
    // A setup that cannot start ends too: the player setup finds no player and tries again.
    if (!platform::SpawnAndWait(command, &exitCode))
      Log::instance()->write("cannot start the player setup %s", command.front().c_str());
    else if (exitCode != 0)
      Log::instance()->write("player setup %s ended with code %d.", command.front().c_str(),
                             exitCode);
    Dispatcher::instance()->Post(MSG_PLAYER_SETUP_DONE);
  });
  return true;
}

}  // namespace lumo
