#include "apk/zip-archive.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <zlib.h>

namespace lumo {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kLocatorSignature = 0x07064b50;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kEnd64Bytes = 56;
constexpr std::size_t kLocatorBytes = 20;
constexpr std::size_t kCentralBytes = 46;
constexpr std::size_t kLocalBytes = 30;
constexpr std::size_t kMaxCommentBytes = 0xffff;
constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;
constexpr std::uint16_t kEncrypted = 1;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint32_t kMore32 = 0xffffffff;  // "the real value is in the zip64 field"

// A little-endian field of `width` bytes; the caller has checked that it lies in the buffer.
std::uint64_t Field(const unsigned char* at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

std::uint32_t U32(const unsigned char* at) {
  return static_cast<std::uint32_t>(Field(at, 4));
}
std::uint16_t U16(const unsigned char* at) {
  return static_cast<std::uint16_t>(Field(at, 2));
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// Whether [offset, offset + size) lies within `length`, without overflowing.
bool Within(std::uint64_t offset, std::uint64_t size, std::uint64_t length) {
  return offset <= length && size <= length - offset;
}

// Replaces the 32-bit fields that say "see zip64" with the values of the zip64 extra field,
// which holds only those, in this order. False when a needed value is missing.
bool ApplyZip64(const unsigned char* extra, std::size_t size, ZipEntry* entry) {
  std::uint64_t* wanted[] = {&entry->size, &entry->compressedSize, &entry->headerOffset};
  std::size_t at = 0;
  while (at + 4 <= size) {
    std::uint16_t id = U16(extra + at);
    std::size_t length = U16(extra + at + 2);
    at += 4;
    if (length > size - at) return false;
    if (id == 1) {
      std::size_t used = 0;
      for (std::uint64_t* value : wanted) {
        if (*value != kMore32) continue;
        if (used + 8 > length) return false;
        *value = Field(extra + at + used, 8);
        used += 8;
      }
      return true;
    }
    at += length;
  }
  for (std::uint64_t* value : wanted)
    if (*value == kMore32) return false;
  return true;
}

}  // namespace

bool ZipArchive::Open(const std::string& path, std::string* error) {
  bytes_.clear();
  entries_.clear();
  inFile_ = file_.Open(path, error);
  if (!inFile_) return false;
  std::string why;
  if (ReadDirectory(&why)) return true;
  return Fail(error, path + " is not a zip archive: " + why);
}

bool ZipArchive::OpenBytes(std::string bytes, std::string* error) {
  inFile_ = false;
  bytes_ = std::move(bytes);
  std::string why;
  if (ReadDirectory(&why)) return true;
  return Fail(error, "not a zip archive: " + why);
}

std::uint64_t ZipArchive::Length() const {
  return inFile_ ? file_.size() : bytes_.size();
}

bool ZipArchive::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
  if (!Within(offset, size, Length())) return false;
  if (inFile_) return file_.ReadAt(offset, data, size);
  std::memcpy(data, bytes_.data() + offset, size);
  return true;
}

bool ZipArchive::ReadDirectory(std::string* error) {
  entries_.clear();
  // The end record sits in the last 22 bytes plus an archive comment of up to 64 KiB; the
  // last signature whose comment fits is taken.
  std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(Length(), kEndBytes + kMaxCommentBytes));
  std::string tail(tailSize, '\0');
  if (tailSize < kEndBytes || !ReadAt(Length() - tailSize, tail.data(), tailSize))
    return Fail(error, "too short");
  const auto* base = reinterpret_cast<const unsigned char*>(tail.data());
  std::size_t at = tailSize - kEndBytes + 1;
  bool found = false;
  while (!found && at-- > 0)
    found = U32(base + at) == kEndSignature && at + kEndBytes + U16(base + at + 20) <= tailSize;
  if (!found) return Fail(error, "no end of directory");
  const unsigned char* end = base + at;
  std::uint64_t endOffset = Length() - tailSize + at;
  std::uint64_t count = U16(end + 10);
  std::uint64_t directorySize = U32(end + 12);
  std::uint64_t directoryOffset = U32(end + 16);
  bool otherDisks = U16(end + 4) != 0 || U16(end + 6) != 0 || U16(end + 8) != count;
  std::uint64_t directoryEnd = endOffset;
  if (count == 0xffff || directorySize == kMore32 || directoryOffset == kMore32) {
    unsigned char locator[kLocatorBytes];
    unsigned char end64[kEnd64Bytes];
    if (endOffset < kLocatorBytes || !ReadAt(endOffset - kLocatorBytes, locator, sizeof locator) ||
        U32(locator) != kLocatorSignature)
      return Fail(error, "no zip64 end of directory");
    std::uint64_t end64Offset = Field(locator + 8, 8);
    if (!Within(end64Offset, kEnd64Bytes, endOffset - kLocatorBytes) ||
        !ReadAt(end64Offset, end64, sizeof end64) || U32(end64) != kEnd64Signature)
      return Fail(error, "damaged zip64 end of directory");
    otherDisks = U32(locator + 4) != 0 || U32(end64 + 16) != 0 || U32(end64 + 20) != 0 ||
                 Field(end64 + 24, 8) != Field(end64 + 32, 8);
    count = Field(end64 + 32, 8);
    directorySize = Field(end64 + 40, 8);
    directoryOffset = Field(end64 + 48, 8);
    directoryEnd = end64Offset;
  }
  if (otherDisks) return Fail(error, "split over several disks");
  if (count > kMaxEntries)
    return Fail(error, "more than " + std::to_string(kMaxEntries) + " entries");
  if (directorySize > kMaxDirectoryBytes || !Within(directoryOffset, directorySize, directoryEnd) ||
      count * kCentralBytes > directorySize)
    return Fail(error, "damaged directory");
  std::string directory(static_cast<std::size_t>(directorySize), '\0');
  if (!ReadAt(directoryOffset, directory.data(), directory.size()))
    return Fail(error, "unreadable directory");
  const auto* record = reinterpret_cast<const unsigned char*>(directory.data());
  std::size_t left = directory.size();
  entries_.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    if (left < kCentralBytes || U32(record) != kCentralSignature)
      return Fail(error, "damaged directory record " + std::to_string(i));
    std::size_t nameSize = U16(record + 28);
    std::size_t extraSize = U16(record + 30);
    std::size_t recordSize = kCentralBytes + nameSize + extraSize + U16(record + 32);
    if (recordSize > left) return Fail(error, "damaged directory record " + std::to_string(i));
    ZipEntry entry;
    entry.flags = U16(record + 8);
    entry.method = U16(record + 10);
    entry.crc = U32(record + 16);
    entry.compressedSize = U32(record + 20);
    entry.size = U32(record + 24);
    entry.headerOffset = U32(record + 42);
    entry.name.assign(reinterpret_cast<const char*>(record + kCentralBytes), nameSize);
    if (!ApplyZip64(record + kCentralBytes + nameSize, extraSize, &entry))
      return Fail(error, "damaged zip64 sizes of " + entry.name);
    entries_.push_back(std::move(entry));
    record += recordSize;
    left -= recordSize;
  }
  return true;
}

const ZipEntry* ZipArchive::Find(std::string_view name) const {
  for (const ZipEntry& entry : entries_)
    if (entry.name == name) return &entry;
  return nullptr;
}

bool ZipArchive::DataOffset(const ZipEntry& entry, std::uint64_t* offset) const {
  unsigned char header[kLocalBytes];
  if (!ReadAt(entry.headerOffset, header, sizeof header) || U32(header) != kLocalSignature)
    return false;
  *offset = entry.headerOffset + kLocalBytes + U16(header + 26) + U16(header + 28);
  return Within(*offset, entry.compressedSize, Length());
}

bool ZipArchive::Stream(const ZipEntry& entry, std::uint64_t limit, const Sink& sink,
                        std::string* error) const {
  const std::string& name = entry.name;
  if (entry.flags & kEncrypted) return Fail(error, name + " is encrypted");
  if (entry.method != kStored && entry.method != kDeflated)
    return Fail(error, name + " is compressed with method " + std::to_string(entry.method));
  if (entry.size > limit)
    return Fail(error, name + " declares " + std::to_string(entry.size) + " bytes, over " +
                           std::to_string(limit));
  std::uint64_t offset = 0;
  if (!DataOffset(entry, &offset) ||
      (entry.method == kStored && entry.compressedSize != entry.size))
    return Fail(error, name + " is damaged");

  // Buffers no larger than the entry: the skin archive reads dozens of small ones at start. The
  // output has room for a byte past the declared size, which is how a lying entry shows.
  std::string input(
      static_cast<std::size_t>(std::min<std::uint64_t>(entry.compressedSize, kChunkBytes)), '\0');
  std::string output(entry.method == kDeflated ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                                     entry.size + 1, kChunkBytes))
                                               : 0,
                     '\0');
  z_stream stream{};
  if (entry.method == kDeflated && inflateInit2(&stream, -MAX_WBITS) != Z_OK)
    return Fail(error, "cannot inflate " + name);
  struct Ender {
    z_stream* stream;
    ~Ender() {
      if (stream) inflateEnd(stream);
    }
  } ender{entry.method == kDeflated ? &stream : nullptr};

  std::uint64_t remaining = entry.compressedSize;
  std::uint64_t total = 0;
  uLong crc = crc32(0, nullptr, 0);
  bool ended = entry.method == kStored;
  // Past the declared size is damage, and that size is within `limit`.
  auto emit = [&](const char* data, std::size_t size) {
    total += size;
    if (total > entry.size) return Fail(error, name + " inflates beyond its declared size");
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    return size == 0 || sink(data, size) || Fail(error, name + " was not taken in whole");
  };
  while (remaining > 0) {
    std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkBytes));
    if (!ReadAt(offset, input.data(), size)) return Fail(error, "cannot read " + name);
    offset += size;
    remaining -= size;
    if (entry.method == kStored) {
      if (!emit(input.data(), size)) return false;
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(size);
    while (!ended && (stream.avail_in > 0 || stream.avail_out == 0)) {
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      int status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
        return Fail(error, name + " is damaged");
      std::size_t produced = output.size() - stream.avail_out;
      if (!emit(output.data(), produced)) return false;
      ended = status == Z_STREAM_END;
      if (status == Z_BUF_ERROR && produced == 0) break;
    }
    if (ended) break;
  }
  if (!ended || total != entry.size || crc != entry.crc)
    return Fail(error, name + " is damaged (its length or checksum does not match)");
  return true;
}

bool ZipArchive::Read(const ZipEntry& entry, std::uint64_t limit, std::string* bytes,
                      std::string* error) const {
  std::string read;
  if (!Stream(
          entry, limit,
          [&read](const char* data, std::size_t size) {
            read.append(data, size);
            return true;
          },
          error))
    return false;
  *bytes = std::move(read);
  return true;
}

}  // namespace lumo
