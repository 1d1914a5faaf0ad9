#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "components/xldl/task.h"

// What the engine library and the engine's process say to each other: one message a datagram
// of a SOCK_SEQPACKET socket pair, a kind byte followed by the kind's fields, little endian,
// each text as a 32-bit length and its bytes. Bytes that break any rule here are not a
// message, and the side that sent them is no longer trusted.
namespace xldl::wire {

inline constexpr std::size_t kMaxMessage = std::size_t{16} << 10;
// 2084 UTF-16 units of an address, 260 of a folder or name, as UTF-8.
inline constexpr std::size_t kMaxUrl = std::size_t{3} * 2084;
inline constexpr std::size_t kMaxPath = std::size_t{3} * 260;
inline constexpr std::size_t kMaxLine = 1024;

enum class Kind : std::uint8_t {
  // From the library.
  kCreate = 1,  // task, recipe
  kStart = 2,   // task, command
  kStop = 3,    // task, command
  // From the process.
  kState = 16,  // task, the last command it was given for the task, snapshot
  kLog = 17,    // line
};

struct Message {
  Kind kind = Kind::kLog;
  std::uint64_t task = 0;
  // Each start or stop of a task is numbered; a state tells the last number it reflects.
  std::uint64_t command = 0;
  TaskSpec recipe;
  TaskSnapshot snapshot;
  std::string line;
};

// Texts too long for their field are cut, and control characters of a line replaced.
std::string Encode(const Message& message);
// What the process accepts: kCreate, kStart and kStop.
std::optional<Message> DecodeCommand(std::string_view bytes);
// What the library accepts: kState and kLog.
std::optional<Message> DecodeReport(std::string_view bytes);

// Sends one message; false when the peer cannot take it.
bool Send(int socket, const Message& message);
enum class Received { kDatagram, kNone, kGone };
// Takes the next datagram waiting on `socket` into `bytes`, without waiting: kNone when none
// waits, kGone when the peer has gone. One over kMaxMessage comes cut to kMaxMessage + 1
// bytes, which no decoder takes.
Received Receive(int socket, std::string* bytes);

}  // namespace xldl::wire
