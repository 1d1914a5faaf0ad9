#include "components/vmbridge/vm-frame.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/un.h>

#include "platform/file-system.h"

namespace vmbridge {

namespace {

void PutU32(std::string* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

std::uint32_t GetU32(const std::string& in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string EncodeFrame(std::uint32_t type, const char* data, std::uint32_t length) {
  std::string out;
  out.reserve(kHeaderSize + length);
  PutU32(&out, kFrameMagic);
  PutU32(&out, type);
  PutU32(&out, length);
  if (length) out.append(data, length);
  return out;
}

FrameReader::Result FrameReader::Next(Frame* frame) {
  if (buffer_.size() < kHeaderSize) {
    // A wrong magic is visible as soon as its bytes are in: do not wait for a whole header.
    std::string magic;
    PutU32(&magic, kFrameMagic);
    std::size_t seen = buffer_.size() < 4 ? buffer_.size() : 4;
    if (buffer_.compare(0, seen, magic, 0, seen) != 0) {
      error_ = "bad frame magic";
      return Result::kBad;
    }
    return Result::kNeedMore;
  }
  if (GetU32(buffer_, 0) != kFrameMagic) {
    error_ = "bad frame magic";
    return Result::kBad;
  }
  std::uint32_t length = GetU32(buffer_, 8);
  if (length > kMaxFrameData) {
    error_ = "frame of " + std::to_string(length) + " bytes is over the limit";
    return Result::kBad;
  }
  if (buffer_.size() < kHeaderSize + length) return Result::kNeedMore;
  frame->type = GetU32(buffer_, 4);
  frame->data.assign(buffer_, kHeaderSize, length);
  buffer_.erase(0, kHeaderSize + length);
  return Result::kFrame;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string SocketPath(const std::string& name) {
  if (!IsPlainName(name)) return {};
  std::string folder = lumo::platform::RuntimeFolder();
  if (folder.empty()) return {};
  std::string path = folder + "/" + name + ".sock";
  if (path.size() >= sizeof(sockaddr_un{}.sun_path)) return {};
  return path;
}

}  // namespace vmbridge
