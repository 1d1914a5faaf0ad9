#include "components/player/child-process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace runbox {

namespace {

constexpr std::size_t kMaxOutput = std::size_t{8} << 20;
constexpr auto kTick = std::chrono::milliseconds(50);

// Starts `argv` in a process group of its own with stdin from /dev/null and stdout and stderr
// to `outFd` (/dev/null when -1); -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
  if (argv.empty()) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  // A bare name ("adb") is looked up on PATH.
  int error = argv[0].find('/') == std::string::npos
                  ? posix_spawnp(&pid, argv[0].c_str(), &actions, &attributes, args.data(), environ)
                  : posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

int ExitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads what is there without waiting; false at the end of the output.
bool Drain(int fd, std::string* output) {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN;
    if (n == 0) return false;
    std::size_t room = kMaxOutput - std::min(kMaxOutput, output->size());
    output->append(buffer, std::min(room, static_cast<std::size_t>(n)));
  }
}

// Collects the output of `pid` until it has exited and its output ended (or, when a daemon
// it started keeps the pipe open, until it has exited), or until the limits end it.
RunEnd Collect(pid_t pid, int fd, std::string* output, int* status, const RunLimits& limits) {
  auto deadline = std::chrono::steady_clock::now() + limits.timeout;
  bool open = true;
  for (;;) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) {
      Drain(fd, output);
      return RunEnd::kExited;
    }
    bool cancelled = limits.cancel && limits.cancel->load();
    if (cancelled || std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
      }
      return cancelled ? RunEnd::kCancelled : RunEnd::kTimedOut;
    }
    if (!open) {
      std::this_thread::sleep_for(kTick);
      continue;
    }
    pollfd readable{fd, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(kTick.count())) > 0) open = Drain(fd, output);
  }
}

}  // namespace

RunEnd RunAndCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                     const RunLimits& limits) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return RunEnd::kNotStarted;
  pid_t pid = Spawn(argv, fds[1]);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return RunEnd::kNotStarted;
  }
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  int status = 0;
  RunEnd end = Collect(pid, fds[0], output, &status, limits);
  close(fds[0]);
  *exitCode = ExitCodeOf(status);
  return end;
}

std::string FindProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

OwnedChild::~OwnedChild() {
  End();
}

bool OwnedChild::Start(const std::vector<std::string>& argv) {
  End();
  pid_ = Spawn(argv, -1);
  return pid_ > 0;
}

bool OwnedChild::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

void OwnedChild::End() {
  if (!Running()) return;
  kill(-pid_, SIGTERM);
  for (int i = 0; i < 40 && Running(); ++i) std::this_thread::sleep_for(kTick);
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

}  // namespace runbox
