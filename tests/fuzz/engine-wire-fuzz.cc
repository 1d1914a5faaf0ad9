// Any datagram between the engine library and its process: the decoders never crash, keep to
// their limits, and what they accept is exactly what encoding the decoded message gives back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "components/xldl/engine-wire.h"

namespace {

void Check(const std::optional<xldl::wire::Message>& message, std::string_view bytes) {
  if (!message) return;
  if (message->line.size() > xldl::wire::kMaxLine ||
      message->recipe.url.size() > xldl::wire::kMaxUrl ||
      message->snapshot.fileName.size() > xldl::wire::kMaxPath)
    __builtin_trap();
  if (xldl::wire::Encode(*message) != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto command = xldl::wire::DecodeCommand(bytes);
  auto report = xldl::wire::DecodeReport(bytes);
  // No datagram is both: each side takes only the other's kinds.
  if (command && report) __builtin_trap();
  Check(command, bytes);
  Check(report, bytes);
  return 0;
}
