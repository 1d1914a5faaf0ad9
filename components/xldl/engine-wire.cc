#include "components/xldl/engine-wire.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace xldl::wire {

namespace {

class Writer {
 public:
  explicit Writer(Kind kind) { bytes_.push_back(static_cast<char>(kind)); }
  template <typename T>
  void Number(T value) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
      bytes_.push_back(static_cast<char>(bits >> (8 * i)));
  }
  void Text(std::string_view text, std::size_t most) {
    text = text.substr(0, most);
    Number(static_cast<std::uint32_t>(text.size()));
    bytes_.append(text);
  }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : rest_(bytes) {}
  template <typename T>
  bool Number(T* value) {
    if (rest_.size() < sizeof(T)) return false;
    std::make_unsigned_t<T> bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      bits |= static_cast<std::make_unsigned_t<T>>(static_cast<unsigned char>(rest_[i])) << (8 * i);
    *value = static_cast<T>(bits);
    rest_.remove_prefix(sizeof(T));
    return true;
  }
  // A text of at most `most` bytes, without NUL characters.
  bool Text(std::string* text, std::size_t most) {
    std::uint32_t length = 0;
    if (!Number(&length) || length > most || length > rest_.size()) return false;
    std::string_view bytes = rest_.substr(0, length);
    if (bytes.find('\0') != std::string_view::npos) return false;
    text->assign(bytes);
    rest_.remove_prefix(length);
    return true;
  }
  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

bool IsState(std::int32_t state) {
  return state == kXlError || state == kXlPaused || state == kXlDownloading || state == kXlComplete;
}

bool ReadSnapshot(Reader& in, TaskSnapshot* s) {
  return in.Number(&s->state) && IsState(s->state) && in.Number(&s->failCode) && s->failCode >= 0 &&
         in.Number(&s->totalLength) && s->totalLength >= 0 && in.Number(&s->completedLength) &&
         s->completedLength >= 0 && in.Number(&s->speed) && s->speed >= 0 &&
         in.Text(&s->fileName, kMaxPath) && (s->fileName.empty() || IsPlainFileName(s->fileName));
}

std::optional<Message> Decode(std::string_view bytes, bool fromLibrary) {
  if (bytes.empty() || bytes.size() > kMaxMessage) return std::nullopt;
  Message m;
  m.kind = static_cast<Kind>(bytes[0]);
  Reader in(bytes.substr(1));
  bool read = false;
  switch (m.kind) {
    case Kind::kCreate:
      read = fromLibrary && in.Number(&m.task) && in.Text(&m.recipe.url, kMaxUrl) &&
             in.Text(&m.recipe.saveFolder, kMaxPath) && in.Text(&m.recipe.fileName, kMaxPath);
      break;
    case Kind::kStart:
    case Kind::kStop:
      read = fromLibrary && in.Number(&m.task) && in.Number(&m.command);
      break;
    case Kind::kState:
      read = !fromLibrary && in.Number(&m.task) && in.Number(&m.command) &&
             ReadSnapshot(in, &m.snapshot);
      break;
    case Kind::kLog:
      read = !fromLibrary && in.Text(&m.line, kMaxLine) &&
             std::none_of(m.line.begin(), m.line.end(), IsControl);
      break;
  }
  if (!read || !in.AtEnd()) return std::nullopt;
  return m;
}

}  // namespace

std::string Encode(const Message& m) {
  Writer out(m.kind);
  switch (m.kind) {
    case Kind::kCreate:
      out.Number(m.task);
      out.Text(m.recipe.url, kMaxUrl);
      out.Text(m.recipe.saveFolder, kMaxPath);
      out.Text(m.recipe.fileName, kMaxPath);
      break;
    case Kind::kStart:
    case Kind::kStop:
      out.Number(m.task);
      out.Number(m.command);
      break;
    case Kind::kState:
      out.Number(m.task);
      out.Number(m.command);
      out.Number(m.snapshot.state);
      out.Number(m.snapshot.failCode);
      out.Number(m.snapshot.totalLength);
      out.Number(m.snapshot.completedLength);
      out.Number(m.snapshot.speed);
      out.Text(m.snapshot.fileName, kMaxPath);
      break;
    case Kind::kLog: {
      std::string line = m.line.substr(0, kMaxLine);
      std::replace_if(line.begin(), line.end(), IsControl, '?');
      out.Text(line, kMaxLine);
      break;
    }
  }
  return out.Take();
}

std::optional<Message> DecodeCommand(std::string_view bytes) {
  return Decode(bytes, true);
}

std::optional<Message> DecodeReport(std::string_view bytes) {
  return Decode(bytes, false);
}

bool Send(int socket, const Message& message) {
  std::string bytes = Encode(message);
  ssize_t sent = -1;
  while ((sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  return sent == static_cast<ssize_t>(bytes.size());
}

Received Receive(int socket, std::string* bytes) {
  bytes->resize(kMaxMessage + 1);
  ssize_t got = -1;
  while ((got = ::recv(socket, bytes->data(), bytes->size(), MSG_DONTWAIT | MSG_TRUNC)) < 0 &&
         errno == EINTR) {
  }
  if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? Received::kNone : Received::kGone;
  if (got == 0) return Received::kGone;
  bytes->resize(std::min(static_cast<std::size_t>(got), kMaxMessage + 1));
  return Received::kDatagram;
}

}  // namespace xldl::wire
