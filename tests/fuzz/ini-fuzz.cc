// Any text as an INI file: reading never crashes and keeps to its buffer, and a value written
// into the text is the value read back from it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ini.h"

namespace {

std::size_t Utf8Chars(const std::string& text) {
  std::size_t chars = 0;
  for (char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo::platform;
  std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"downloadDir", "minOnClose", "homeUrl"}) {
    std::string value = ProfileStringIn(text, "Main", key, "default", 16);
    if (Utf8Chars(value) > 15) __builtin_trap();
  }
  std::string written = WithProfileString(text, "main", "DOWNLOADDIR", "/home/u/下载 x");
  if (ProfileStringIn(written, "MAIN", "downloaddir", "", 260) != "/home/u/下载 x")
    __builtin_trap();
  return 0;
}
