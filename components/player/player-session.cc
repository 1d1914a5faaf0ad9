#include "components/player/player-session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "apk/package-name.h"
#include "components/player/bundle-parts.h"
#include "components/player/device-frames.h"
#include "components/player/package-list.h"
#include "components/player/player-log.h"
#include "components/player/result-codes.h"

namespace runbox {

namespace {

constexpr std::uint32_t kInstall = 1, kUninstall = 2, kLaunch = 3, kVmStart = 4, kHello = 5,
                        kSplash = 6, kClose = 7, kPackages = 8, kAbis = 9, kDevices = 10,
                        kDeviceChoice = 11, kConnectDevice = 12;
constexpr auto kRetryInterval = std::chrono::milliseconds(200);
// A bridge that closes at once has another player in its one slot: try again later and later,
// up to this.
constexpr auto kLongestBackoff = std::chrono::seconds(5);

// The text of a message: its bytes up to the first NUL.
std::string TextOf(const vmbridge::Frame& frame) {
  return frame.data.substr(0, frame.data.find('\0'));
}

std::string JoinAbis(const std::vector<std::string>& abis) {
  std::string text;
  for (const std::string& abi : abis) text += (text.empty() ? "" : ",") + abi;
  return text;
}

}  // namespace

PlayerSession::PlayerSession(const PlayerConfig& config, PlayerView* view)
    : config_(config),
      view_(view),
      record_(config.dataDir),
      targets_(config_, &record_, &quitting_) {
  std::vector<std::string> problems;
  record_.Load(&problems);
  for (const std::string& problem : problems) PlayerLog("%s", problem.c_str());
  if (pipe2(wakeFds_, O_CLOEXEC) != 0) wakeFds_[0] = wakeFds_[1] = -1;
}

PlayerSession::~PlayerSession() {
  Stop();
  for (int fd : wakeFds_)
    if (fd >= 0) close(fd);
}

void PlayerSession::Start() {
  PlayerLog("player started: %zu packages in the demo VM, server %s", record_.List().size(),
            config_.serverName.c_str());
  view_->ShowPackages(record_.List());
  view_->ShowVmState(VmState::kStopped, false);
  connection_ = std::thread([this] { ConnectionLoop(); });
  worker_ = std::thread([this] { RequestLoop(); });
}

void PlayerSession::Stop() {
  quitting_ = true;
  if (wakeFds_[1] >= 0) (void)!write(wakeFds_[1], "x", 1);
  { std::lock_guard<std::mutex> lock(requestMutex_); }
  requestReady_.notify_all();
  for (std::thread* thread : {&connection_, &worker_, &boot_})
    if (thread->joinable()) thread->join();
}

void PlayerSession::Quit(const char* why) {
  PlayerLog("player closing: %s", why);
  quitting_ = true;
  view_->Quit();
}

void PlayerSession::ConnectionLoop() {
  auto alone = std::chrono::steady_clock::now();
  std::chrono::milliseconds backoff = kRetryInterval;
  while (!quitting_) {
    int fd = Connect();
    if (fd >= 0 && Serve(fd)) {
      alone = std::chrono::steady_clock::now();
      backoff = kRetryInterval;
      continue;
    }
    auto waited = std::chrono::steady_clock::now() - alone;
    if (config_.idleExitMs > 0 && waited > std::chrono::milliseconds(config_.idleExitMs)) {
      Quit("no bridge to talk to");
      break;
    }
    if (fd < 0) {
      Pause(kRetryInterval);
      continue;
    }
    PlayerLog("the bridge closed the connection at once; trying again in %lld ms",
              static_cast<long long>(backoff.count()));
    Pause(backoff);
    backoff = std::min<std::chrono::milliseconds>(backoff * 2, kLongestBackoff);
  }
}

void PlayerSession::Pause(std::chrono::milliseconds delay) {
  pollfd wake{wakeFds_[0], POLLIN, 0};
  if (poll(&wake, wakeFds_[0] >= 0 ? 1 : 0, static_cast<int>(delay.count())) < 0)
    std::this_thread::sleep_for(delay);
}

int PlayerSession::Connect() {
  std::string path = vmbridge::SocketPath(config_.serverName);
  if (path.empty()) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  timeval timeout{3, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
  return fd;
}

bool PlayerSession::Serve(int fd) {
  PlayerLog("connected to the bridge");
  AnnounceOnConnect(fd);
  view_->ShowVmState(vmState_, true);
  vmbridge::FrameReader reader;
  char buffer[4096];
  bool heard = false;
  while (!quitting_) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents) break;
    if (!fds[0].revents) continue;
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reader.Feed(buffer, static_cast<std::size_t>(n));
    vmbridge::Frame frame;
    vmbridge::FrameReader::Result result;
    while ((result = reader.Next(&frame)) == vmbridge::FrameReader::Result::kFrame) {
      heard = true;
      OnFrame(frame);
    }
    if (result == vmbridge::FrameReader::Result::kBad) {
      PlayerLog("bad message from the bridge (%s); connecting again", reader.error().c_str());
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(sendMutex_);
    close(fd_);
    fd_ = -1;
  }
  if (!quitting_) PlayerLog("disconnected from the bridge");
  view_->ShowVmState(vmState_, false);
  return heard;
}

void PlayerSession::OnFrame(const vmbridge::Frame& frame) {
  std::string text = TextOf(frame);
  switch (frame.type) {
    case kHello:
      PlayerLog("Lumo says hello (%s)", text.c_str());
      break;
    case kSplash: {
      std::size_t split = text.find(';');
      std::string icon = text.substr(0, split);
      std::string name = split == std::string::npos ? std::string() : text.substr(split + 1);
      PlayerLog("splash: %s (%s)", name.c_str(), icon.c_str());
      view_->ShowSplash(icon, name);
      break;
    }
    case kClose:
      Quit("Lumo asked the player to close");
      break;
    case kInstall:
    case kUninstall:
    case kLaunch:
    case kPackages:
    case kDeviceChoice:
    case kConnectDevice: {
      std::lock_guard<std::mutex> lock(requestMutex_);
      requests_.push_back(frame);
      requestReady_.notify_one();
      break;
    }
    default:
      PlayerLog("message of type %u ignored", frame.type);
  }
}

void PlayerSession::StartBoot() {
  if (booting_.exchange(true)) return;
  if (boot_.joinable()) boot_.join();
  SetVmState(VmState::kBooting);
  boot_ = std::thread([this] { Boot(); });
}

void PlayerSession::Boot() {
  PlayerLog("VM booting (%d ms)", config_.bootMs);
  auto ready = std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.bootMs);
  while (!quitting_ && std::chrono::steady_clock::now() < ready)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (quitting_) return;
  bool started = config_.bootResult == 0;
  {
    std::lock_guard<std::mutex> lock(announceMutex_);
    SetVmState(started ? VmState::kRunning : VmState::kFailed);
    PlayerLog(started ? "VM started" : "VM failed to start (%d)", config_.bootResult);
    // A device that took over meanwhile has been announced ready already.
    if (!onDevice_) SendText(kVmStart, std::to_string(config_.bootResult));
  }
  // Cleared outside the lock: StartBoot, under it, joins this thread once it sees the flag.
  booting_ = false;
}

void PlayerSession::RequestLoop() {
  // The first look for devices, before any request: what Lumo asks for goes to the target.
  bool changed = targets_.Choose({config_.device, config_.addresses});
  Announce(changed, true);
  vmbridge::Frame request;
  while (!quitting_) {
    if (NextRequest(&request))
      Carry(request);
    else if (!quitting_)
      Announce(targets_.Refresh(), false);
  }
}

bool PlayerSession::NextRequest(vmbridge::Frame* request) {
  std::unique_lock<std::mutex> lock(requestMutex_);
  auto ready = [this] { return quitting_ || !requests_.empty(); };
  if (targets_.adbFound())
    requestReady_.wait_for(lock, std::chrono::milliseconds(config_.devicePollMs), ready);
  else
    requestReady_.wait(lock, ready);
  if (quitting_ || requests_.empty()) return false;
  *request = std::move(requests_.front());
  requests_.pop_front();
  return true;
}

void PlayerSession::Carry(const vmbridge::Frame& request) {
  std::string text = TextOf(request);
  // In line with installs and uninstalls, so the list answers after the results before it.
  if (request.type == kPackages) return SendPackageList();
  if (request.type == kDeviceChoice) return OnDeviceChoice(text);
  if (request.type == kConnectDevice) return OnConnectDevice(text);
  int code = Handle(request);
  if (quitting_) return;
  PlayerLog("request %u \"%s\": %d (%s)", request.type, text.c_str(), code, ResultText(code));
  if (!SendText(request.type, std::to_string(code)))
    PlayerLog("result of request %u could not be sent", request.type);
}

int PlayerSession::Handle(const vmbridge::Frame& request) {
  std::string text = TextOf(request);
  if (!onDevice_ && vmState_ != VmState::kRunning) return kVmNotRunning;
  if (text.empty()) return kBadRequest;
  if (request.type == kInstall) return Install(text);
  if (request.type == kLaunch) return Launch(text);
  if (!lumo::IsValidPackageName(text)) return kBadRequest;
  std::string detail;
  int code = targets_.backend().Uninstall(text, &detail);
  if (code != kOk) PlayerLog("uninstall of %s failed: %s", text.c_str(), detail.c_str());
  view_->ShowPackages(targets_.backend().Installed());
  return code;
}

void PlayerSession::OnDeviceChoice(const std::string& text) {
  std::optional<DeviceChoice> choice = ParseDeviceChoice(text);
  if (!choice) {
    PlayerLog("device choice ignored: not lines of pick and address");
    return Announce(false, true);
  }
  PlayerLog("device choice: %s, %zu addresses", choice->pick.c_str(), choice->addresses.size());
  Announce(targets_.Choose(*choice), true);
}

void PlayerSession::OnConnectDevice(const std::string& address) {
  bool changed = false;
  std::string answer = IsDeviceAddress(address)
                           ? targets_.Connect(address, &changed)
                           : ConnectAnswerText(false, address, "not an address HOST:PORT");
  SendText(kConnectDevice, answer);
  Announce(changed, true);
}

void PlayerSession::Announce(bool changed, bool always) {
  std::string devices = targets_.DevicesText();
  {
    std::lock_guard<std::mutex> lock(announceMutex_);
    bool first = !looked_;
    looked_ = true;
    if (!always && !changed && devices == devicesText_) return;
    devicesText_ = devices;
    abisText_ = JoinAbis(targets_.abis());
    onDevice_ = !targets_.serial().empty();
    SendText(kDevices, devicesText_);
    if (changed || first) {
      // Lumo keeps the list, so it can turn away a game the target cannot run before queuing it.
      SendText(kAbis, abisText_);
      if (onDevice_ || vmState_ == VmState::kRunning)
        SendText(kVmStart, "0");
      else
        StartBoot();
    }
  }
  if (changed) view_->ShowPackages(targets_.backend().Installed());
}

void PlayerSession::AnnounceOnConnect(int fd) {
  std::lock_guard<std::mutex> lock(announceMutex_);
  {
    std::lock_guard<std::mutex> sendLock(sendMutex_);
    fd_ = fd;
  }
  // Before the first look Lumo hears nothing: the request thread announces when it is done.
  if (!looked_) return;
  SendText(kDevices, devicesText_);
  SendText(kAbis, abisText_);
  // A Lumo that starts while the target is ready learns it at once; otherwise the VM boots.
  if (onDevice_ || vmState_ == VmState::kRunning)
    SendText(kClose, "0");
  else
    StartBoot();
}

int PlayerSession::Install(const std::string& apkPath) {
  PackageFacts facts;
  std::string detail;
  UnpackedBundle bundle(apkPath, config_.dataDir + "/unpack");
  int code = bundle.code();
  detail = bundle.detail();
  const std::string& base = bundle.isBundle() && code == kOk ? bundle.parts().front() : apkPath;
  // The target's processors decide whether its native code can run.
  PlayerConfig target = config_;
  target.abis = targets_.abis();
  if (code == kOk) code = CheckPackage(target, base, &facts, &detail);
  if (code == kOk) {
    facts.parts = bundle.parts();
    for (std::size_t i = 1; i < facts.parts.size(); ++i)
      facts.size += std::filesystem::file_size(facts.parts[i]);
    PlayerLog("installing %s from %s (%llu bytes, %zu parts)", facts.name.c_str(), apkPath.c_str(),
              facts.size, std::max<std::size_t>(facts.parts.size(), 1));
    code = targets_.backend().Install(base, facts, &detail);
  }
  if (code != kOk) PlayerLog("install of %s failed: %s", apkPath.c_str(), detail.c_str());
  view_->ShowPackages(targets_.backend().Installed());
  return code;
}

int PlayerSession::Launch(const std::string& text) {
  std::size_t slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == text.size()) return kBadRequest;
  std::string name = text.substr(0, slash);
  // An activity is a class name, relative (".Main") or whole; adb passes it to a shell.
  std::string activity = text.substr(slash + 1);
  if (!lumo::IsValidPackageName(name) ||
      !lumo::IsValidPackageName(activity[0] == '.' ? activity.substr(1) : activity))
    return kBadRequest;
  std::string detail;
  int code = targets_.backend().Launch(name, activity, &detail);
  if (code != kOk) {
    PlayerLog("launch of %s failed: %s", text.c_str(), detail.c_str());
    return code;
  }
  InstalledPackage package{name, name, activity, 0};
  for (const InstalledPackage& installed : targets_.backend().Installed())
    if (installed.name == name) package = installed;
  PlayerLog("launched %s on the %s", text.c_str(), targets_.backend().Describe().c_str());
  view_->ShowLaunched(package);
  return kOk;
}

void PlayerSession::SendPackageList() {
  std::vector<InstalledPackage> packages = targets_.backend().Installed();
  PlayerLog("Lumo asks which packages are installed: %zu", packages.size());
  for (const std::string& text : PackageListTexts(packages))
    if (!SendText(kPackages, text)) break;
}

bool PlayerSession::SendText(std::uint32_t type, const std::string& text) {
  std::string frame =
      vmbridge::EncodeFrame(type, text.c_str(), static_cast<std::uint32_t>(text.size() + 1));
  std::lock_guard<std::mutex> lock(sendMutex_);
  if (fd_ < 0) return false;
  return vmbridge::WriteAll(fd_, frame);
}

void PlayerSession::SetVmState(VmState state) {
  vmState_ = state;
  std::lock_guard<std::mutex> lock(sendMutex_);
  view_->ShowVmState(state, fd_ >= 0);
}

}  // namespace runbox
