#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The byte formats a device speaks to an adb server: the transport's packets, the framing of
// the shell protocol (v2) inside a stream, the file-sync requests, service names and the
// command line a shell service carries. Every reader here takes bytes from a peer that may be
// hostile: lengths are bounded and nothing is buffered beyond one message.
namespace lumo::adb {

// A command is its four ASCII letters read as a little-endian number.
constexpr std::uint32_t kCnxn = 0x4e584e43;
constexpr std::uint32_t kAuth = 0x48545541;
constexpr std::uint32_t kOpen = 0x4e45504f;
constexpr std::uint32_t kOkay = 0x59414b4f;
constexpr std::uint32_t kClse = 0x45534c43;
constexpr std::uint32_t kWrte = 0x45545257;
constexpr std::uint32_t kSync = 0x434e5953;
constexpr std::uint32_t kStls = 0x534c5453;

// The protocol version that lets both sides leave the payload checksum out.
constexpr std::uint32_t kVersion = 0x01000001;
constexpr std::size_t kHeaderSize = 24;
// The largest payload this device announces in its CNXN and accepts in any packet.
constexpr std::uint32_t kMaxPayload = 256 * 1024;

// AUTH's first argument.
constexpr std::uint32_t kAuthToken = 1;
constexpr std::uint32_t kAuthSignature = 2;
constexpr std::uint32_t kAuthPublicKey = 3;

struct Packet {
  std::uint32_t command = 0;
  std::uint32_t arg0 = 0;
  std::uint32_t arg1 = 0;
  std::string data;
};

// The header (command, arg0, arg1, length, byte sum of the payload, command ^ 0xffffffff)
// followed by the payload.
std::string EncodePacket(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
                         std::string_view data);

enum class ReadResult { kMessage, kNeedMore, kBad };

// Cuts one connection's byte stream into packets. A header is judged as soon as its 24 bytes
// are in: an unknown command, a wrong magic or a payload over kMaxPayload is kBad, and so is
// any input after kBad.
class PacketReader {
 public:
  // Takes the next bytes; false (and kBad from then on) when more than one packet and one read
  // would be held, which a caller that drains Next() after each Feed never reaches.
  bool Feed(std::string_view bytes);
  ReadResult Next(Packet* packet);

  static constexpr std::size_t kMaxHeld = kHeaderSize + kMaxPayload + 64 * 1024;

 private:
  std::string held_;
  std::size_t start_ = 0;
  bool bad_ = false;
};

// The shell protocol's packet ids.
enum ShellId : std::uint8_t {
  kShellStdin = 0,
  kShellStdout = 1,
  kShellStderr = 2,
  kShellExit = 3,
  kShellCloseStdin = 4,
  kShellWindowSize = 5,
};

struct ShellPacket {
  std::uint8_t id = 0;
  std::string data;
};

// One id byte, a little-endian 32-bit length, the data.
std::string EncodeShellPacket(std::uint8_t id, std::string_view data);

// Cuts the bytes a host writes into a shell,v2 stream into its packets; an unknown id or a
// length over kMaxPayload is kBad.
class ShellPacketReader {
 public:
  bool Feed(std::string_view bytes);
  ReadResult Next(ShellPacket* packet);

 private:
  std::string held_;
  std::size_t start_ = 0;
  bool bad_ = false;
};

// The largest path a sync request may name, and the largest DATA chunk.
constexpr std::uint32_t kMaxSyncPath = 1024;
constexpr std::uint32_t kMaxSyncData = 64 * 1024;

// A file-sync request: four letters and a 32-bit value, which is the payload's length for
// requests that carry one (a path, or DATA's bytes) and the value itself for DONE (the
// file's time) and QUIT.
struct SyncRequest {
  std::string id;
  std::uint32_t value = 0;
  std::string payload;
};

std::string EncodeSyncMessage(std::string_view id, std::uint32_t value,
                              std::string_view payload = {});

// Cuts a sync stream into requests. Known ids: STAT, STA2, LST2, LIST, SEND, RECV, DATA,
// DONE, QUIT; anything else, a path over kMaxSyncPath or a chunk over kMaxSyncData is kBad.
class SyncRequestReader {
 public:
  bool Feed(std::string_view bytes);
  ReadResult Next(SyncRequest* request);

 private:
  std::string held_;
  std::size_t start_ = 0;
  bool bad_ = false;
};

// What an OPEN asks for.
struct Service {
  enum class Kind { kShell, kExec, kSync, kUnknown };
  Kind kind = Kind::kUnknown;
  bool shellProtocol = false;  // "shell,v2...": output comes framed, with an exit packet
  std::string command;         // after the first ':'
};

// "shell[,ARG...]:COMMAND", "exec:COMMAND" or "sync:"; the payload may end in one NUL.
Service ParseService(std::string_view name);

// Splits a command line into words as the device's shell would: blanks separate words, '...'
// and "..." quote, a backslash escapes the next character. Pipes, lists, redirections and
// substitutions are refused (false, with the character in `error`); so are more than
// kMaxWords words.
constexpr std::size_t kMaxWords = 256;
bool SplitCommandLine(std::string_view line, std::vector<std::string>* words, std::string* error);

void PutU32(std::string* out, std::uint32_t value);
void PutU64(std::string* out, std::uint64_t value);
std::uint32_t GetU32(const char* bytes);

}  // namespace lumo::adb
