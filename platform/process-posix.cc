#include <array>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace lumo::platform
