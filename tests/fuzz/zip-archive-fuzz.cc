// Any bytes as a zip archive: reading never crashes or reads outside the bytes, and an entry
// that reads is exactly the length its directory declares and no longer than the cap.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/zip-archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint64_t kLimit = 1 << 20;
  lumo::ZipArchive archive;
  std::string error;
  if (!archive.OpenBytes(std::string(reinterpret_cast<const char*>(data), size), &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if (archive.Entries().size() > lumo::ZipArchive::kMaxEntries) __builtin_trap();
  std::size_t tried = 0;
  for (const lumo::ZipEntry& entry : archive.Entries()) {
    if (++tried > 64) break;
    std::string bytes;
    if (archive.Read(entry, kLimit, &bytes, &error) &&
        (bytes.size() != entry.size || bytes.size() > kLimit))
      __builtin_trap();
  }
  return 0;
}
