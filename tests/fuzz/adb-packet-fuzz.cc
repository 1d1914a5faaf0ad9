// Any byte stream from an adb server, in any cut into reads: the stand-in device's reader never
// crashes, keeps to the payload limit, and the packets it yields are exactly the front of the
// stream (the unchecked checksum aside); the services and command lines they name split
// within their bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/tools/adb-protocol.h"

namespace {

void CheckText(const std::string& data) {
  lumo::adb::Service service = lumo::adb::ParseService(data);
  std::vector<std::string> words;
  std::string error;
  if (lumo::adb::SplitCommandLine(service.command, &words, &error) &&
      words.size() > lumo::adb::kMaxWords)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses how the stream is cut into reads.
  std::size_t piece = data[0] % 64 + 1;
  std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  lumo::adb::PacketReader reader;
  std::size_t consumed = 0;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    if (!reader.Feed(std::string_view(stream).substr(at, piece))) break;
    lumo::adb::Packet packet;
    lumo::adb::ReadResult result;
    while ((result = reader.Next(&packet)) == lumo::adb::ReadResult::kPacket) {
      if (packet.data.size() > lumo::adb::kMaxPayload) __builtin_trap();
      std::string bytes =
          lumo::adb::EncodePacket(packet.command, packet.arg0, packet.arg1, packet.data);
      std::string front = stream.substr(consumed, bytes.size());
      if (front.size() != bytes.size()) __builtin_trap();
      front.replace(16, 4, bytes, 16, 4);
      if (front != bytes) __builtin_trap();
      consumed += bytes.size();
      CheckText(packet.data);
    }
    if (result == lumo::adb::ReadResult::kBad) break;
  }
  return 0;
}
