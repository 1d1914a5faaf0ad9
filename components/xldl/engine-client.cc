#include "components/xldl/engine-client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace xldl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNever = Clock::time_point::max();
// The process's end of the socket pair.
constexpr int kProcessSocket = 3;
// How long the process may take to end its session before it is killed: aria2 gives a
// graceful stop five seconds.
constexpr auto kEndGrace = std::chrono::seconds(10);

// The environment of the engine's process: this one's, with the limits this engine was made
// with in place of any the environment holds now.
std::vector<std::string> ProcessEnvironment(const EngineLimits& limits) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, "XLDL_", 5) != 0) entries.emplace_back(*entry);
  }
  for (std::string& entry : limits.AsEnvironment()) entries.push_back(std::move(entry));
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Waits up to `grace` for the process to end, then kills it; says how it ended.
std::string Reap(pid_t pid, Clock::duration grace) {
  auto deadline = Clock::now() + grace;
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    while ((ended = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
  }
  if (ended < 0) return "not known";
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

EngineClient::EngineClient(std::string program, EngineLimits limits)
    : program_(std::move(program)), limits_(limits) {}

EngineClient::~EngineClient() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  if (thread_.joinable()) {
    Wake();
    thread_.join();
  }
  if (wake_ >= 0) ::close(wake_);
}

bool EngineClient::Start() {
  if (::access(program_.c_str(), X_OK) != 0) return false;
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return false;
  thread_ = std::thread(&EngineClient::Run, this);
  Prepare();
  return true;
}

void EngineClient::Prepare() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    prepareWanted_ = true;
    preparedAt_ = Clock::now();
  }
  Wake();
}

void EngineClient::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(wake_, &one, sizeof(one));
}

void EngineClient::Run() {
  auto idleSince = kNever;
  for (;;) {
    bool launch = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
      launch = socket_ < 0 && (WantsProcess() || prepareWanted_);
      prepareWanted_ = false;
    }
    bool launched = launch && LaunchProcess();
    std::vector<wire::Message> commands;
    bool end = false;
    bool changed = false;
    int timeout = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (launch && !launched) ForgetProcess(true);
      if (socket_ >= 0) commands = TakeCommands();
      auto now = Clock::now();
      if (socket_ < 0 || Busy()) {
        idleSince = kNever;
      } else {
        if (idleSince == kNever) idleSince = now;
        auto endAt = std::max(idleSince, preparedAt_) + std::chrono::seconds(limits_.sessionIdle);
        end = now >= endAt;
        timeout =
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(endAt - now).count());
      }
      changed = TakeStateChanges();
    }
    for (const wire::Message& command : commands) {
      if (!wire::Send(socket_, command)) {
        callbacks_.Say("the engine's process does not take its commands; ending it");
        EndProcess(false);
        break;
      }
    }
    if (end && socket_ >= 0) {
      EndProcess(false);
      callbacks_.Say("idle: the engine's process ended");
    }
    callbacks_.SayKept();
    if (changed) callbacks_.Announce();
    if (end) continue;
    pollfd fds[2] = {{wake_, POLLIN, 0}, {socket_, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] ssize_t got = ::read(wake_, &count, sizeof(count));
    }
    if (socket_ >= 0 && fds[1].revents != 0 && !ReadReports()) EndProcess(true);
  }
  if (socket_ >= 0) EndProcess(false);
  callbacks_.SayKept();
}

bool EngineClient::WantsProcess() const {
  for (const auto& [id, task] : tasks_) {
    if (task.wantRunning && task.command != task.sentCommand) return true;
  }
  return false;
}

bool EngineClient::Busy() const {
  for (const auto& [id, task] : tasks_) {
    if (task.published.state == kXlDownloading ||
        (task.wantRunning && task.command != task.sentCommand))
      return true;
  }
  return false;
}

std::vector<wire::Message> EngineClient::TakeCommands() {
  std::vector<wire::Message> commands;
  for (auto& [id, task] : tasks_) {
    if (task.command == task.sentCommand) continue;
    task.sentCommand = task.command;
    wire::Message m;
    m.task = id;
    m.command = task.command;
    if (task.wantRunning) {
      if (!task.inProcess) {
        wire::Message create;
        create.kind = wire::Kind::kCreate;
        create.task = id;
        create.recipe = task.recipe;
        commands.push_back(std::move(create));
        task.inProcess = true;
      }
      m.kind = wire::Kind::kStart;
    } else if (task.inProcess) {
      m.kind = wire::Kind::kStop;
    } else {
      continue;
    }
    commands.push_back(std::move(m));
  }
  return commands;
}

bool EngineClient::ForgetProcess(bool failUnsent) {
  bool failed = false;
  for (auto& [id, task] : tasks_) {
    task.inProcess = false;
    // A start asked for since the process was last given commands goes to the next one.
    if (task.command != task.sentCommand && !failUnsent) continue;
    task.sentCommand = task.command;
    if (task.published.state != kXlDownloading) continue;
    task.published.state = kXlError;
    task.published.failCode = kErrorUnknown;
    task.published.speed = 0;
    failed = true;
  }
  return failed;
}

bool EngineClient::LaunchProcess() {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    callbacks_.Say("cannot make the engine's socket: %s", std::strerror(errno));
    return false;
  }
  // A descriptor duplicated onto itself would keep its close-on-exec flag.
  if (pair[1] == kProcessSocket) {
    int moved = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kProcessSocket + 1);
    ::close(pair[1]);
    pair[1] = moved;
  }
  // A process that does not read is given up on, not waited for.
  timeval sendLimit{5, 0};
  ::setsockopt(pair[0], SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof(sendLimit));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pair[1], kProcessSocket);
  posix_spawn_file_actions_addclosefrom_np(&actions, kProcessSocket + 1);
  // Its own process group: a terminal's interrupt goes to the program, which then ends the
  // engine in order, with its control files written.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<std::string> arguments = {program_};
  std::vector<std::string> environment = ProcessEnvironment(limits_);
  pid_t pid = -1;
  int error = ::posix_spawn(&pid, program_.c_str(), &actions, &attributes,
                            Pointers(arguments).data(), Pointers(environment).data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pair[1]);
  if (error != 0) {
    ::close(pair[0]);
    callbacks_.Say("cannot start the engine's process %s: %s", program_.c_str(),
                   std::strerror(error));
    return false;
  }
  // Transfers wait on the network, not the processor: under load the window and the pages go
  // first, from the process's start (its libraries load after this returns).
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 10);
  pid_ = pid;
  socket_ = pair[0];
  return true;
}

bool EngineClient::ReadReports() {
  std::string bytes;
  for (;;) {
    wire::Received received = wire::Receive(socket_, &bytes);
    if (received != wire::Received::kDatagram) return received == wire::Received::kNone;
    auto message = wire::DecodeReport(bytes);
    if (!message) {
      callbacks_.Say("the engine's process sent what is not a report; ending it");
      ::kill(pid_, SIGKILL);
      return false;
    }
    Take(*message);
  }
}

void EngineClient::Take(const wire::Message& m) {
  if (m.kind == wire::Kind::kLog) {
    callbacks_.Keep(m.line);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tasks_.find(m.task);
  // A state that predates the task's last start or stop would undo what it asked for.
  if (it == tasks_.end() || !it->second.inProcess || m.command != it->second.command) return;
  it->second.published = m.snapshot;
}

void EngineClient::EndProcess(bool closed) {
  if (!closed) {
    ::shutdown(socket_, SHUT_WR);
    // Its last lines come before it closes its end.
    auto deadline = Clock::now() + kEndGrace;
    while (!closed && Clock::now() < deadline) {
      pollfd fd = {socket_, POLLIN, 0};
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (::poll(&fd, 1, static_cast<int>(left.count())) > 0) closed = !ReadReports();
    }
  }
  std::string how = Reap(pid_, closed ? kEndGrace : Clock::duration::zero());
  ::close(socket_);
  socket_ = -1;
  pid_ = -1;
  bool lost = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost = ForgetProcess(false);
  }
  if (lost) callbacks_.Say("the engine's process ended (%s); its downloads failed", how.c_str());
}

bool EngineClient::TakeStateChanges() {
  bool changed = false;
  for (auto& [id, task] : tasks_) {
    if (task.published.state == task.announcedState) continue;
    task.announcedState = task.published.state;
    changed = true;
  }
  return changed;
}

std::uintptr_t EngineClient::CreateTask(TaskSpec recipe) {
  CheckRecipe(recipe);
  Task task;
  task.published.fileName = IsPlainFileName(recipe.fileName) ? recipe.fileName : std::string();
  task.recipe = std::move(recipe);
  std::lock_guard<std::mutex> lock(mutex_);
  std::uintptr_t id = nextId_++;
  tasks_.emplace(id, std::move(task));
  return id;
}

bool EngineClient::StartTask(std::uintptr_t id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return false;
    Task& t = it->second;
    // A finished file is not fetched again.
    if (t.published.state == kXlComplete) return true;
    t.wantRunning = true;
    ++t.command;
    t.published.failCode = 0;
    t.published.speed = 0;
    t.published.state = kXlDownloading;
    // Fails at once, without the process: its file would go elsewhere than asked.
    if (t.recipe.refused) {
      t.sentCommand = t.command;
      t.published.state = kXlError;
      t.published.failCode = kErrorFileCreate;
    }
  }
  Wake();
  return true;
}

bool EngineClient::StopTask(std::uintptr_t id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return false;
    Task& t = it->second;
    t.wantRunning = false;
    ++t.command;
    if (t.published.state == kXlDownloading) {
      t.published.state = kXlPaused;
      t.published.speed = 0;
    }
  }
  Wake();
  return true;
}

bool EngineClient::Query(std::uintptr_t id, TaskSnapshot* snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return false;
  *snapshot = it->second.published;
  return true;
}

}  // namespace xldl
