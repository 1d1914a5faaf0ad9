#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file-system.h"

namespace lumo {

struct ZipEntry {
  std::string name;
  std::uint64_t size = 0;            // inflated, as the directory declares it
  std::uint64_t compressedSize = 0;  // stored bytes, as the directory declares it
  std::uint64_t headerOffset = 0;    // of the entry's local header
  std::uint32_t crc = 0;
  std::uint16_t method = 0;  // 0 stored, 8 deflated; others are listed but not read
  std::uint16_t flags = 0;
};

// A read-only zip archive: APKs, bundles and the skin archive. Everything in it is outside
// input, so every offset and size from its directory is checked against the archive's real
// length before use, inflation stops at the caller's cap whatever the directory declared,
// and an entry reads only when its length and checksum match the directory.
class ZipArchive {
 public:
  static constexpr std::size_t kMaxEntries = 1 << 18;
  static constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{64} << 20;

  // Reads the directory of the file at `path`; false with `error` when it is missing or is
  // not a zip archive this reader takes (split over disks, or a damaged directory).
  bool Open(const std::string& path, std::string* error);
  // The same over bytes the archive keeps.
  bool OpenBytes(std::string bytes, std::string* error);

  const std::vector<ZipEntry>& Entries() const { return entries_; }
  // The first entry of that name, or null.
  const ZipEntry* Find(std::string_view name) const;

  // Hands the entry's inflated bytes to `sink` in pieces; stops with false when the sink
  // does, when more than `limit` bytes come out, or when the entry is encrypted, of another
  // method, damaged, or not the length or checksum its directory says (`error` says which).
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  bool Stream(const ZipEntry& entry, std::uint64_t limit, const Sink& sink,
              std::string* error = nullptr) const;
  // The whole entry, when it is at most `limit` bytes.
  bool Read(const ZipEntry& entry, std::uint64_t limit, std::string* bytes,
            std::string* error = nullptr) const;

 private:
  std::uint64_t Length() const;
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
  bool ReadDirectory(std::string* error);
  bool DataOffset(const ZipEntry& entry, std::uint64_t* offset) const;

  platform::ReadOnlyFile file_;
  bool inFile_ = false;
  std::string bytes_;  // the archive itself when opened from bytes
  std::vector<ZipEntry> entries_;
};

}  // namespace lumo
