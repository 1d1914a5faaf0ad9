#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/processes.h"

extern char** environ;

namespace lumo::platform {

namespace {

int Spawn(const std::vector<std::string>& argv, bool newSession) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (newSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int error = posix_spawn(&pid, argv[0].c_str(), nullptr, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string EnvironmentValue(int pid, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string prefix = name + "=";
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find('\0', at);
    if (end == std::string::npos) end = all.size();
    if (all.compare(at, prefix.size(), prefix) == 0)
      return all.substr(at + prefix.size(), end - at - prefix.size());
    at = end + 1;
  }
  return {};
}

// The base name of the process's executable; empty when it cannot be read (another user's
// process, a zombie, a process that has just ended).
std::string ImageName(int pid) {
  char target[4096];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
  if (n <= 0) return {};
  std::string path(target, static_cast<std::size_t>(n));
  // A program replaced on disk while it runs (an update) still is that program.
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.ends_with(deleted))
    path.resize(path.size() - deleted.size());
  return path.substr(path.rfind('/') + 1);
}

bool HasEnded(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return true;
  // The state follows the parenthesised command name, which may itself hold spaces.
  std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' ||
         stat[close + 2] == 'X';
}

}  // namespace

int SpawnDetached(const std::vector<std::string>& argv) {
  int pid = Spawn(argv, true);
  if (pid > 0) std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return pid;
}

bool SpawnAndWait(const std::vector<std::string>& argv, int* exitCode) {
  int pid = Spawn(argv, true);
  if (pid <= 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  if (exitCode) *exitCode = ExitStatus(status);
  return true;
}

std::vector<int> FindProcessesByImageName(const std::string& imageName) {
  std::vector<int> found;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string ourRuntime = runtime ? runtime : "";
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == getpid()) continue;
    if (ImageName(static_cast<int>(pid)) != imageName) continue;
    if (EnvironmentValue(static_cast<int>(pid), "XDG_RUNTIME_DIR") != ourRuntime) continue;
    if (!HasEnded(static_cast<int>(pid))) found.push_back(static_cast<int>(pid));
  }
  closedir(proc);
  return found;
}

bool TerminateProcess(int pid) {
  return pid > 0 && kill(pid, SIGKILL) == 0;
}

bool WaitForProcessEnd(int pid, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!HasEnded(pid)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool Is64BitOperatingSystem() {
  utsname name{};
  if (uname(&name) != 0) return sizeof(void*) == 8;
  return std::strstr(name.machine, "64") != nullptr || std::strcmp(name.machine, "s390x") == 0;
}

}  // namespace lumo::platform
