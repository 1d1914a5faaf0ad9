#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The wire format shared by the bridge library and the player: a 12-byte header (magic, type,
// data length, little endian) followed by the data bytes.
namespace vmbridge {

inline constexpr std::uint32_t kFrameMagic = 0x424d564c;  // "LVMB"
inline constexpr std::size_t kHeaderSize = 12;
// Messages are paths, package names and result codes; anything longer is not a message.
inline constexpr std::uint32_t kMaxFrameData = 64 * 1024;

struct Frame {
  std::uint32_t type = 0;
  std::string data;  // the bytes as sent; a NUL is kept if the sender counted one
};

std::string EncodeFrame(std::uint32_t type, const char* data, std::uint32_t length);

// Cuts a byte stream into frames. After kBad the stream cannot be trusted and the peer should
// be dropped.
class FrameReader {
 public:
  enum class Result { kNeedMore, kFrame, kBad };

  void Feed(const char* bytes, std::size_t count) { buffer_.append(bytes, count); }
  Result Next(Frame* frame);
  // True when part of a frame has arrived: an end of stream now means a truncated frame.
  bool MidFrame() const { return !buffer_.empty(); }
  const std::string& error() const { return error_; }

 private:
  std::string buffer_;
  std::string error_;
};

// Writes all of `bytes`; false on an error or when the socket's send timeout ran out.
bool WriteAll(int fd, const std::string& bytes);

// The socket file of the server called `name` in the per-user runtime folder; empty when the
// name is not a plain file name or no runtime folder is usable.
std::string SocketPath(const std::string& name);

}  // namespace vmbridge
