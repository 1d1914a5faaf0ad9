#pragma once

#include <string_view>

namespace lumo {

// "HOST:PORT" as adb connects to it: a host name, an IPv4 address or a bracketed IPv6 address,
// and a port from 1 to 65535. Lumo checks what the user types with it and the player what
// Lumo sends.
bool IsDeviceAddress(std::string_view address);

}  // namespace lumo
