// lumo-adb-device: a stand-in Android device that the real adb server connects to over TCP
// ("adb connect 127.0.0.1:PORT"). It answers the shell and exec services with the commands
// of adb-device-model.h and keeps its state in memory (and in --state-file).
//
//   lumo-adb-device [--port=N] [--model=NAME] [--abis=A,B] [--release=R] [--sdk=N]
//                   [--free-kb=N] [--state-file=PATH] [--unauthorized]
//                   [--refuse-install=CODE] [--not-exported=CLASS]...
//
// The first line on standard output is the port it listens on (useful with --port=0).
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "tests/tools/adb-device-model.h"
#include "tests/tools/adb-protocol.h"

namespace lumo::adbdevice {

namespace {

using adb::Packet;

// More streams at once than any adb command opens; past it an OPEN is refused.
constexpr std::size_t kMaxStreams = 64;

// One stream that the host opened. Output goes one WRTE at a time: the next waits for the
// host's OKAY of the one before, and CLSE follows the OKAY of the last.
struct Stream {
  std::uint32_t remote = 0;
  std::string line;             // the command line
  std::uint64_t inputLeft = 0;  // bytes still to come before the command runs
  FILE* input = nullptr;        // where they go; null when they are dropped
  std::string inputPath;
  std::string output;
  bool running = false;  // the command has run and its output is on its way
};

// Serves one TCP connection from the adb server on its own thread, until the peer leaves or
// sends bytes that are no adb packets.
class Connection {
 public:
  Connection(int fd, Device* device) : fd_(fd), device_(device) {}
  ~Connection();
  void Serve();

 private:
  bool Send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
            const std::string& data = {});
  bool Handle(const Packet& packet);
  bool OnConnect(const Packet& packet);
  bool SendToken();
  bool OnOpen(const Packet& packet);
  bool OnWrite(const Packet& packet, Stream* stream);
  bool RunCommand(std::uint32_t local, Stream* stream);
  bool SendMore(std::uint32_t local, Stream* stream);
  void Drop(std::uint32_t local);

  const int fd_;
  Device* const device_;
  std::map<std::uint32_t, Stream> streams_;
  std::uint32_t nextLocal_ = 1;
  std::size_t maxData_ = 4096;
  bool online_ = false;
};

Connection::~Connection() {
  while (!streams_.empty()) Drop(streams_.begin()->first);
  close(fd_);
}

void Connection::Serve() {
  adb::PacketReader reader;
  std::string buffer(adb::PacketReader::kMaxRead, '\0');
  for (ssize_t n; (n = recv(fd_, buffer.data(), buffer.size(), 0)) > 0;) {
    if (!reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return;
    Packet packet;
    adb::ReadResult result;
    while ((result = reader.Next(&packet)) == adb::ReadResult::kPacket)
      if (!Handle(packet)) return;
    if (result == adb::ReadResult::kBad) return;
  }
}

bool Connection::Send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
                      const std::string& data) {
  std::string bytes = adb::EncodePacket(command, arg0, arg1, data);
  for (std::size_t sent = 0; sent < bytes.size();) {
    ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool Connection::Handle(const Packet& packet) {
  if (packet.command == adb::kCnxn) return OnConnect(packet);
  // A device that waits for the user's consent answers each signature with a new token and
  // leaves the public key unanswered.
  if (packet.command == adb::kAuth)
    return packet.arg0 != adb::kAuthSignature || !device_->options().unauthorized || SendToken();
  if (!online_) return true;
  if (packet.command == adb::kOpen) return OnOpen(packet);
  auto it = streams_.find(packet.arg1);
  if (it == streams_.end() || it->second.remote != packet.arg0) return true;
  if (packet.command == adb::kWrte) return OnWrite(packet, &it->second);
  if (packet.command == adb::kOkay && it->second.running) return SendMore(it->first, &it->second);
  if (packet.command == adb::kClse) Drop(it->first);
  return true;
}

bool Connection::OnConnect(const Packet& packet) {
  if (device_->options().unauthorized) return SendToken();
  // The host's largest payload bounds every WRTE sent to it; below adb's first size is no adb.
  maxData_ = std::clamp<std::size_t>(packet.arg1, 4096, adb::kMaxPayload);
  online_ = true;
  return Send(adb::kCnxn, adb::kVersion, adb::kMaxPayload, device_->Banner());
}

// The host signs whatever it gets; the token's bytes do not matter to a device that accepts
// no signature.
bool Connection::SendToken() {
  return Send(adb::kAuth, adb::kAuthToken, 0, std::string(20, 't'));
}

bool Connection::OnOpen(const Packet& packet) {
  adb::Service service = adb::ParseService(packet.data);
  if (service.kind == adb::Service::Kind::kUnknown || streams_.size() >= kMaxStreams)
    return Send(adb::kClse, 0, packet.arg0);
  std::uint32_t local = nextLocal_++;
  Stream& stream = streams_[local];
  stream.remote = packet.arg0;
  stream.line = service.command;
  stream.inputLeft = Device::InputSize(stream.line);
  // An install the device refuses whatever the APK holds reads its bytes without keeping them.
  if (stream.inputLeft > 0 && device_->KeepsInput(stream.inputLeft)) {
    const char* folder = std::getenv("TMPDIR");
    stream.inputPath = std::string(folder ? folder : "/tmp") + "/lumo-adb-device-XXXXXX.apk";
    int fd = mkstemps(stream.inputPath.data(), 4);
    stream.input = fd < 0 ? nullptr : fdopen(fd, "wb");
  }
  if (!Send(adb::kOkay, local, packet.arg0)) return false;
  return stream.inputLeft > 0 || RunCommand(local, &stream);
}

bool Connection::OnWrite(const Packet& packet, Stream* stream) {
  if (!Send(adb::kOkay, packet.arg1, stream->remote)) return false;
  if (stream->running || stream->inputLeft == 0) return true;
  std::size_t take =
      static_cast<std::size_t>(std::min<std::uint64_t>(stream->inputLeft, packet.data.size()));
  if (stream->input) std::fwrite(packet.data.data(), 1, take, stream->input);
  stream->inputLeft -= take;
  return stream->inputLeft > 0 || RunCommand(packet.arg1, stream);
}

bool Connection::RunCommand(std::uint32_t local, Stream* stream) {
  bool kept = stream->input && std::fclose(stream->input) == 0;
  stream->input = nullptr;
  stream->output = device_->Run(stream->line, kept ? stream->inputPath : std::string());
  if (!stream->inputPath.empty()) std::remove(stream->inputPath.c_str());
  stream->inputPath.clear();
  stream->running = true;
  return SendMore(local, stream);
}

bool Connection::SendMore(std::uint32_t local, Stream* stream) {
  if (stream->output.empty()) {
    bool sent = Send(adb::kClse, local, stream->remote);
    streams_.erase(local);
    return sent;
  }
  std::size_t size = std::min(stream->output.size(), maxData_);
  std::string chunk = stream->output.substr(0, size);
  stream->output.erase(0, size);
  return Send(adb::kWrte, local, stream->remote, chunk);
}

void Connection::Drop(std::uint32_t local) {
  Stream& stream = streams_[local];
  if (stream.input) std::fclose(stream.input);
  if (!stream.inputPath.empty()) std::remove(stream.inputPath.c_str());
  streams_.erase(local);
}

bool ParseOption(const std::string& option, int* port, DeviceOptions* options) {
  std::size_t equals = option.find('=');
  std::string name = option.substr(0, equals);
  std::string value = equals == std::string::npos ? std::string() : option.substr(equals + 1);
  if (name == "--unauthorized") return options->unauthorized = true;
  if (equals == std::string::npos) return false;
  if (name == "--port")
    *port = std::atoi(value.c_str());
  else if (name == "--model")
    options->model = value;
  else if (name == "--abis")
    options->abis = value;
  else if (name == "--release")
    options->release = value;
  else if (name == "--sdk")
    options->sdk = value;
  else if (name == "--free-kb")
    options->freeKb = std::strtoull(value.c_str(), nullptr, 10);
  else if (name == "--state-file")
    options->stateFile = value;
  else if (name == "--refuse-install")
    options->refuseInstall = value;
  else if (name == "--not-exported")
    options->notExported.push_back(value);
  else
    return false;
  return true;
}

int Listen(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (fd < 0 || bind(fd, generic, length) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, generic, &length) != 0)
    return -1;
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  return fd;
}

}  // namespace

}  // namespace lumo::adbdevice

int main(int argc, char** argv) {
  using namespace lumo::adbdevice;
  int port = 0;
  DeviceOptions options;
  for (int i = 1; i < argc; ++i) {
    if (!ParseOption(argv[i], &port, &options)) {
      std::fprintf(stderr, "lumo-adb-device: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  int listener = Listen(port);
  if (listener < 0) {
    std::perror("lumo-adb-device: listen");
    return 1;
  }
  Device device(options);
  for (int fd; (fd = accept(listener, nullptr, nullptr)) >= 0;) {
    std::thread([fd, &device] { Connection(fd, &device).Serve(); }).detach();
  }
  // The connections' threads still use the device: end without destroying it.
  std::perror("lumo-adb-device: accept");
  _exit(1);
}
