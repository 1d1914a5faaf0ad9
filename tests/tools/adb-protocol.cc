#include "tests/tools/adb-protocol.h"

#include <array>

namespace lumo::adb {

namespace {

// Appends to a reader's buffer, dropping the consumed front first so that the buffer holds at
// most one unread message and one read.
bool Append(std::string* held, std::size_t* start, std::string_view bytes, std::size_t limit) {
  if (*start > 0) {
    held->erase(0, *start);
    *start = 0;
  }
  if (held->size() + bytes.size() > limit) return false;
  held->append(bytes);
  return true;
}

bool KnownCommand(std::uint32_t command) {
  constexpr std::array<std::uint32_t, 8> kKnown = {kCnxn, kAuth, kOpen, kOkay,
                                                   kClse, kWrte, kSync, kStls};
  for (std::uint32_t known : kKnown)
    if (command == known) return true;
  return false;
}

// The sync requests whose value is the length of a path that follows.
bool CarriesPath(std::string_view id) {
  return id == "STAT" || id == "STA2" || id == "LST2" || id == "LIST" || id == "SEND" ||
         id == "RECV";
}

bool KnownSyncId(std::string_view id) {
  return CarriesPath(id) || id == "DATA" || id == "DONE" || id == "QUIT";
}

bool Refuse(std::string* error, std::string_view why) {
  error->assign(why);
  return false;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Characters that make a line more than one simple command.
bool IsOperator(char c) {
  return c == '|' || c == ';' || c == '&' || c == '<' || c == '>' || c == '(' || c == ')' ||
         c == '`' || c == '$';
}

}  // namespace

void PutU32(std::string* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

void PutU64(std::string* out, std::uint64_t value) {
  PutU32(out, static_cast<std::uint32_t>(value));
  PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t GetU32(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

std::string EncodePacket(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
                         std::string_view data) {
  std::uint32_t sum = 0;
  for (char c : data) sum += static_cast<unsigned char>(c);
  std::string out;
  out.reserve(kHeaderSize + data.size());
  PutU32(&out, command);
  PutU32(&out, arg0);
  PutU32(&out, arg1);
  PutU32(&out, static_cast<std::uint32_t>(data.size()));
  PutU32(&out, sum);
  PutU32(&out, command ^ 0xffffffffu);
  out.append(data);
  return out;
}

bool PacketReader::Feed(std::string_view bytes) {
  if (!bad_ && !Append(&held_, &start_, bytes, kMaxHeld)) bad_ = true;
  return !bad_;
}

ReadResult PacketReader::Next(Packet* packet) {
  if (bad_) return ReadResult::kBad;
  std::size_t available = held_.size() - start_;
  if (available < kHeaderSize) return ReadResult::kNeedMore;
  const char* header = held_.data() + start_;
  std::uint32_t command = GetU32(header);
  std::uint32_t length = GetU32(header + 12);
  // The checksum (header + 16) is not checked: at kVersion both sides send zero.
  if (!KnownCommand(command) || GetU32(header + 20) != (command ^ 0xffffffffu) ||
      length > kMaxPayload) {
    bad_ = true;
    return ReadResult::kBad;
  }
  if (available < kHeaderSize + length) return ReadResult::kNeedMore;
  packet->command = command;
  packet->arg0 = GetU32(header + 4);
  packet->arg1 = GetU32(header + 8);
  packet->data.assign(header + kHeaderSize, length);
  start_ += kHeaderSize + length;
  return ReadResult::kMessage;
}

std::string EncodeShellPacket(std::uint8_t id, std::string_view data) {
  std::string out(1, static_cast<char>(id));
  PutU32(&out, static_cast<std::uint32_t>(data.size()));
  out.append(data);
  return out;
}

bool ShellPacketReader::Feed(std::string_view bytes) {
  if (!bad_ && !Append(&held_, &start_, bytes, 5 + 2 * std::size_t{kMaxPayload})) bad_ = true;
  return !bad_;
}

ReadResult ShellPacketReader::Next(ShellPacket* packet) {
  if (bad_) return ReadResult::kBad;
  std::size_t available = held_.size() - start_;
  if (available < 5) return ReadResult::kNeedMore;
  const char* header = held_.data() + start_;
  auto id = static_cast<std::uint8_t>(header[0]);
  std::uint32_t length = GetU32(header + 1);
  if (id > kShellWindowSize || length > kMaxPayload) {
    bad_ = true;
    return ReadResult::kBad;
  }
  if (available < 5 + length) return ReadResult::kNeedMore;
  packet->id = id;
  packet->data.assign(header + 5, length);
  start_ += 5 + length;
  return ReadResult::kMessage;
}

std::string EncodeSyncMessage(std::string_view id, std::uint32_t value, std::string_view payload) {
  std::string out(id.substr(0, 4));
  PutU32(&out, value);
  out.append(payload);
  return out;
}

bool SyncRequestReader::Feed(std::string_view bytes) {
  // A host writes DATA chunks back to back inside one WRTE: hold one chunk and one packet.
  if (!bad_ && !Append(&held_, &start_, bytes, 8 + kMaxSyncData + kMaxPayload)) bad_ = true;
  return !bad_;
}

ReadResult SyncRequestReader::Next(SyncRequest* request) {
  if (bad_) return ReadResult::kBad;
  std::size_t available = held_.size() - start_;
  if (available < 8) return ReadResult::kNeedMore;
  std::string_view id(held_.data() + start_, 4);
  std::uint32_t value = GetU32(held_.data() + start_ + 4);
  std::uint32_t length = CarriesPath(id) || id == "DATA" ? value : 0;
  bool tooLong = id == "DATA" ? length > kMaxSyncData : length > kMaxSyncPath;
  if (!KnownSyncId(id) || tooLong) {
    bad_ = true;
    return ReadResult::kBad;
  }
  if (available < 8 + length) return ReadResult::kNeedMore;
  request->id.assign(id);
  request->value = value;
  request->payload.assign(held_.data() + start_ + 8, length);
  start_ += 8 + length;
  return ReadResult::kMessage;
}

Service ParseService(std::string_view name) {
  if (!name.empty() && name.back() == '\0') name.remove_suffix(1);
  Service service;
  std::size_t colon = name.find(':');
  if (colon == std::string_view::npos) return service;
  std::string_view head = name.substr(0, colon);
  service.command.assign(name.substr(colon + 1));
  if (head == "exec") {
    service.kind = Service::Kind::kExec;
  } else if (head == "sync") {
    service.kind = Service::Kind::kSync;
  } else if (head == "shell" || head.substr(0, 6) == "shell,") {
    service.kind = Service::Kind::kShell;
    // The arguments: "v2", "TERM=...", "raw" or "pty", comma-separated in any order.
    for (std::string_view rest = head.substr(5); !rest.empty();) {
      rest.remove_prefix(1);
      std::string_view argument = rest.substr(0, rest.find(','));
      if (argument == "v2") service.shellProtocol = true;
      rest.remove_prefix(argument.size());
    }
  }
  return service;
}

bool SplitCommandLine(std::string_view line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote == '\'') {
      if (c == '\'') {
        quote = 0;
      } else {
        word.push_back(c);
      }
      continue;
    }
    if (c == '\\' && i + 1 < line.size() &&
        (quote == 0 || std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos)) {
      word.push_back(line[++i]);
      inWord = true;
      continue;
    }
    if (quote == '"') {
      if (c == '$' || c == '`') return Refuse(error, std::string(1, c));
      if (c == '"') {
        quote = 0;
      } else {
        word.push_back(c);
      }
      continue;
    }
    if (IsBlank(c)) {
      if (inWord) words->push_back(std::move(word));
      word.clear();
      inWord = false;
      if (words->size() > kMaxWords) return Refuse(error, "too many words");
      continue;
    }
    if (IsOperator(c)) return Refuse(error, std::string(1, c));
    inWord = true;
    if (c == '\'' || c == '"') {
      quote = c;
    } else {
      word.push_back(c);
    }
  }
  if (quote != 0) return Refuse(error, "unterminated quote");
  if (inWord) words->push_back(std::move(word));
  if (words->size() > kMaxWords) return Refuse(error, "too many words");
  return true;
}

}  // namespace lumo::adb
