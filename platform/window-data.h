#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window.h"

// The wire side of data messages, shared by the window channel's backend and its tests.
namespace lumo::platform {

// The largest datagram the window channel reads: a data message with its header.
inline constexpr std::size_t kMaxWindowDatagram = kMaxWindowData + 64;

// A data message as one datagram: a marker line, the message id line, then the bytes.
std::string EncodeWindowData(std::uint32_t msg, const std::string& data);
// False when `bytes` is not a data message; else its id and a copy of its bytes.
bool ParseWindowData(const char* bytes, std::size_t size, std::uint32_t* msg, std::string* data);

// UI thread: hands a datagram that arrived for `window` to the data procedure accepting its
// id. False when the datagram is not a data message (the caller reads it as a plain one).
bool DeliverWindowData(WindowHandle window, const char* bytes, std::size_t size);
// Any thread: sends one datagram to the window of this class and title in any process.
bool SendWindowDatagram(const std::string& className, const std::string& title,
                        const std::string& datagram);

}  // namespace lumo::platform
