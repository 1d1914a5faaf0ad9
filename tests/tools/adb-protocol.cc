#include "tests/tools/adb-protocol.h"

namespace lumo::adb {

namespace {

void PutU32(std::string* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>(value >> shift));
}

std::uint32_t GetU32(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

bool KnownCommand(std::uint32_t command) {
  return command == kCnxn || command == kAuth || command == kOpen || command == kOkay ||
         command == kClse || command == kWrte;
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
  return std::string_view("|;&<>()`$").find(c) != std::string_view::npos;
}

// Reads the word that starts at line[*i] up to the next unquoted blank.
bool ReadWord(std::string_view line, std::size_t* i, std::string* word, std::string* error) {
  char quote = 0;
  for (; *i < line.size(); ++*i) {
    char c = line[*i];
    if (quote == 0 && IsBlank(c)) break;
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        word->push_back(c);
      continue;
    }
    // Inside "..." a backslash escapes only the characters that are special there.
    bool escapable =
        *i + 1 < line.size() &&
        (quote == 0 || std::string_view("\"\\$`").find(line[*i + 1]) != std::string_view::npos);
    if (c == '\\' && escapable) {
      word->push_back(line[++*i]);
    } else if (c == '"' || (quote == 0 && c == '\'')) {
      quote = quote == c ? '\0' : c;
    } else if (IsOperator(c) && (quote == 0 || c == '$' || c == '`')) {
      return Refuse(error, std::string(1, c));
    } else {
      word->push_back(c);
    }
  }
  return quote == 0 || Refuse(error, "unterminated quote");
}

}  // namespace

std::string EncodePacket(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1,
                         std::string_view data) {
  std::uint32_t sum = 0;
  for (char c : data) sum += static_cast<unsigned char>(c);
  std::string out;
  out.reserve(kHeaderSize + data.size());
  for (std::uint32_t field :
       {command, arg0, arg1, static_cast<std::uint32_t>(data.size()), sum, command ^ 0xffffffffu})
    PutU32(&out, field);
  out.append(data);
  return out;
}

bool PacketReader::Feed(std::string_view bytes) {
  if (bad_) return false;
  // Drop what was read first, so that the buffer holds one unread packet and one read at most.
  held_.erase(0, start_);
  start_ = 0;
  if (held_.size() + bytes.size() > kMaxHeld)
    bad_ = true;
  else
    held_.append(bytes);
  return !bad_;
}

ReadResult PacketReader::Next(Packet* packet) {
  if (bad_) return ReadResult::kBad;
  std::size_t available = held_.size() - start_;
  if (available < kHeaderSize) return ReadResult::kNeedMore;
  const char* header = held_.data() + start_;
  std::uint32_t command = GetU32(header);
  std::uint32_t length = GetU32(header + 12);
  // The checksum (header + 16) is left unchecked: at kVersion neither side needs it.
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
  return ReadResult::kPacket;
}

Service ParseService(std::string_view name) {
  if (!name.empty() && name.back() == '\0') name.remove_suffix(1);
  Service service;
  std::size_t colon = name.find(':');
  if (colon == std::string_view::npos) return service;
  std::string_view head = name.substr(0, colon);
  // "shell,raw:" and the like carry options before the colon; output is raw either way.
  if (head == "exec") {
    service.kind = Service::Kind::kExec;
  } else if (head == "shell" || head.substr(0, 6) == "shell,") {
    service.kind = Service::Kind::kShell;
  } else {
    return service;
  }
  service.command.assign(name.substr(colon + 1));
  return service;
}

bool SplitCommandLine(std::string_view line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  for (std::size_t i = 0; i < line.size();) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (words->size() == kMaxWords) return Refuse(error, "too many words");
    std::string word;
    if (!ReadWord(line, &i, &word, error)) return false;
    words->push_back(std::move(word));
  }
  return true;
}

}  // namespace lumo::adb
