#include "platform/window-data.h"

#include <cstring>

namespace lumo::platform {

namespace {

constexpr char kDataMarker[] = "LUMODATA1\n";
constexpr std::size_t kMarkerLength = sizeof(kDataMarker) - 1;
// A message id is a 32-bit number: at most ten digits.
constexpr std::size_t kMaxIdDigits = 10;

}  // namespace

std::string EncodeWindowData(std::uint32_t msg, const std::string& data) {
  return kDataMarker + std::to_string(msg) + "\n" + data;
}

bool ParseWindowData(const char* bytes, std::size_t size, std::uint32_t* msg, std::string* data) {
  if (size < kMarkerLength || std::memcmp(bytes, kDataMarker, kMarkerLength) != 0) return false;
  std::size_t at = kMarkerLength;
  std::uint64_t id = 0;
  std::size_t digits = 0;
  for (; at < size && bytes[at] >= '0' && bytes[at] <= '9' && digits < kMaxIdDigits; ++at) {
    id = id * 10 + static_cast<std::uint64_t>(bytes[at] - '0');
    ++digits;
  }
  if (digits == 0 || id > UINT32_MAX || at >= size || bytes[at] != '\n') return false;
  ++at;
  if (size - at > kMaxWindowData) return false;
  *msg = static_cast<std::uint32_t>(id);
  data->assign(bytes + at, size - at);
  return true;
}

}  // namespace lumo::platform
