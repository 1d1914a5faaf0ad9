#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <glib.h>

#include "platform/process.h"

extern char** environ;

namespace lumo::platform {

namespace {

// Owns a file descriptor; closes it once.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Owns the spawn attributes and file actions for one start.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // The child starts with no blocked signals and SIGPIPE at its default, whatever this
    // thread or the UI toolkit changed for themselves.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

void ReadUntilEnd(int fd, std::size_t maxOutput, ProcessOutput* out) {
  std::array<char, 4096> buffer;
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // every writer has closed its end: the program has ended
    std::size_t room = maxOutput - out->text.size();
    std::size_t take = static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room;
    out->text.append(buffer.data(), take);
    if (take < static_cast<std::size_t>(n)) out->truncated = true;
  }
}

int WaitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProcessOutput RunProcess(const std::vector<std::string>& argv, std::size_t maxOutput) {
  ProcessOutput out;
  if (argv.empty()) return out;
  int ends[2];
  // Close-on-exec keeps both ends out of every other child this process starts meanwhile;
  // the dup2 below gives this child its own inheritable copies on 1 and 2.
  if (::pipe2(ends, O_CLOEXEC) != 0) return out;
  Fd readEnd(ends[0]), writeEnd(ends[1]);

  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), 1);
  posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), 2);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t pid = 0;
  if (::posix_spawn(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ) != 0)
    return out;
  out.started = true;
  writeEnd.Close();  // only the child holds a writer now, so its exit ends the reading
  ReadUntilEnd(readEnd.get(), maxOutput, &out);
  out.exitCode = WaitForExit(pid);
  return out;
}

// Finding, starting and ending programs by name: the player runtime.
namespace {

// Starts a program in a session of its own, so that it outlives this process's terminal and
// the signals sent to its group.
int SpawnInNewSession(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnSetup setup;
  short flags = 0;
  posix_spawnattr_getflags(&setup.attributes, &flags);
  posix_spawnattr_setflags(&setup.attributes, static_cast<short>(flags | POSIX_SPAWN_SETSID));
  pid_t pid = -1;
  int error = posix_spawn(&pid, args[0], nullptr, &setup.attributes, args.data(), environ);
  return error == 0 ? pid : -1;
}

// Lowers a program that has just started, before its libraries are loaded. Where the kernel
// schedules each session as a group of its own (autogroup), the child's new session would
// still take an equal share from this one, so its group is lowered too.
void LowerPriority(int pid) {
  constexpr int kBackgroundNice = 10;
  setpriority(PRIO_PROCESS, static_cast<id_t>(pid), kBackgroundNice);
  std::ofstream group("/proc/" + std::to_string(pid) + "/autogroup");
  if (group) group << kBackgroundNice;
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

int SpawnDetached(const std::vector<std::string>& argv, SpawnPriority priority) {
  int pid = SpawnInNewSession(argv);
  if (pid > 0 && priority == SpawnPriority::kBackground) LowerPriority(pid);
  // GLib reaps the child on the UI loop once it ends; nothing is left for the callback. It
  // waits for this pid alone, so the waits of SpawnAndWait and RunProcess are untouched.
  if (pid > 0)
    g_child_watch_add(
        pid, [](GPid, gint, gpointer) {}, nullptr);
  return pid;
}

bool SpawnAndWait(const std::vector<std::string>& argv, int* exitCode) {
  int pid = SpawnInNewSession(argv);
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

bool MarkExecutable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR) == 0;
}

}  // namespace lumo::platform
