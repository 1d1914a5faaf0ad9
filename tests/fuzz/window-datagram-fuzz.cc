// Any datagram another process may send to a window: parsing never crashes, and what parses
// is spelt exactly as this side would send it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window-datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  lumo::platform::WindowDatagram datagram;
  if (lumo::platform::ParseWindowDatagram(bytes, &datagram) &&
      lumo::platform::FormatWindowDatagram(datagram) != bytes)
    __builtin_trap();
  return 0;
}
