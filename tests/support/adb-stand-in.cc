#include "tests/support/adb-stand-in.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumo::test {

namespace {

constexpr char kAdb[] = "/usr/bin/adb";
constexpr std::size_t kMaxAdbOutput = 1 << 20;

// A port no one listens on now. Another program may take it before adb does; on this
// machine's loopback that has not been seen.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  int port = 0;
  if (fd >= 0 && bind(fd, generic, length) == 0 && getsockname(fd, generic, &length) == 0)
    port = ntohs(address.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

// The first line the child writes: the port it listens on.
int ReadPort(int fd) {
  std::string line;
  char c = 0;
  while (line.size() < 16 && read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return c == '\n' ? std::atoi(line.c_str()) : 0;
}

}  // namespace

StandInDevice::StandInDevice(const std::vector<std::string>& options) {
  std::vector<std::string> argv = {LUMO_TEST_BIN_DIR "/lumo-adb-device", "--port=0"};
  argv.insert(argv.end(), options.begin(), options.end());
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  close(out[1]);
  if (pid_ > 0) port_ = ReadPort(out[0]);
  close(out[0]);
}

StandInDevice::~StandInDevice() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

PrivateAdb::PrivateAdb() : port_(FreePort()) {
  Run({"start-server"});
}

PrivateAdb::~PrivateAdb() {
  Run({"kill-server"});
}

std::vector<std::string> PrivateAdb::Environment() const {
  return {"HOME=" + home(), "TMPDIR=" + home(), "ANDROID_ADB_SERVER_PORT=" + std::to_string(port_)};
}

platform::ProcessOutput PrivateAdb::Run(const std::vector<std::string>& args) const {
  // A serial or keys chosen in the test's own environment would reach past this server.
  std::vector<std::string> argv = {"/usr/bin/env", "-u", "ANDROID_SERIAL", "-u", "ADB_VENDOR_KEYS"};
  for (const std::string& setting : Environment()) argv.push_back(setting);
  argv.push_back(kAdb);
  argv.insert(argv.end(), args.begin(), args.end());
  return platform::RunProcess(argv, kMaxAdbOutput);
}

bool PrivateAdb::Connect(const StandInDevice& device) const {
  return Run({"connect", device.serial()}).text.find("connected to " + device.serial()) == 0;
}

}  // namespace lumo::test
