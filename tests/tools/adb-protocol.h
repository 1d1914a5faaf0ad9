#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The byte formats a device speaks to an adb server: the transport's packets, the service an
// OPEN names and the command line a shell service carries. Every reader here takes bytes from
// a peer that may be hostile: lengths are bounded and nothing is buffered beyond one packet.
namespace lumo::adb {

// A command is its four ASCII letters read as a little-endian number.
constexpr std::uint32_t kCnxn = 0x4e584e43;
constexpr std::uint32_t kAuth = 0x48545541;
constexpr std::uint32_t kOpen = 0x4e45504f;
constexpr std::uint32_t kOkay = 0x59414b4f;
constexpr std::uint32_t kClse = 0x45534c43;
constexpr std::uint32_t kWrte = 0x45545257;

// The protocol version that lets both sides leave the payload checksum unchecked.
constexpr std::uint32_t kVersion = 0x01000001;
constexpr std::size_t kHeaderSize = 24;
// The largest payload this device announces in its CNXN and accepts in any packet.
constexpr std::uint32_t kMaxPayload = 256 * 1024;

// AUTH's first argument.
constexpr std::uint32_t kAuthToken = 1;
constexpr std::uint32_t kAuthSignature = 2;

struct Packet {
  std::uint32_t command = 0;
  std::uint32_t arg0 = 0;
  std::uint32_t arg1 = 0;
  std::string data;
};

// The header (command, arg0, arg1, length, byte sum of the payload, command ^ 0xffffffff)
// followed by the payload.
std::string EncodePacket(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
                         std::string_view data = {});

enum class ReadResult { kPacket, kNeedMore, kBad };

// Cuts one connection's byte stream into packets. A header is judged as soon as its 24 bytes
// are in: an unknown command, a wrong magic or a payload over kMaxPayload is kBad, and so is
// everything after it.
class PacketReader {
 public:
  // Takes the next bytes; false (and kBad from then on) when more than one packet and one read
  // would be held, which a caller that drains Next() after each Feed never reaches.
  bool Feed(std::string_view bytes);
  ReadResult Next(Packet* packet);

  static constexpr std::size_t kMaxRead = 64 * 1024;
  static constexpr std::size_t kMaxHeld = kHeaderSize + kMaxPayload + kMaxRead;

 private:
  std::string held_;
  std::size_t start_ = 0;
  bool bad_ = false;
};

// What an OPEN asks for: "shell[,ARG...]:COMMAND" or "exec:COMMAND" (the payload may end in one
// NUL). Any other service is kUnknown.
struct Service {
  enum class Kind { kShell, kExec, kUnknown };
  Kind kind = Kind::kUnknown;
  std::string command;
};
Service ParseService(std::string_view name);

// Splits a command line into words as the device's shell would: blanks separate words, '...'
// and "..." quote, a backslash escapes the next character. Pipes, lists, redirections and
// substitutions are refused (false, with the reason in `error`); so are more than kMaxWords
// words.
constexpr std::size_t kMaxWords = 256;
bool SplitCommandLine(std::string_view line, std::vector<std::string>* words, std::string* error);

}  // namespace lumo::adb
