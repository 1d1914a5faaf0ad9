// Any byte stream from a bridge peer, in any cut into reads: the reader never crashes, keeps
// to the frame limit, and the frames it yields are exactly the front of the stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "components/vmbridge/vm-frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses how the stream is cut into reads.
  std::size_t piece = data[0] % 32 + 1;
  std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  vmbridge::FrameReader reader;
  std::string consumed;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    reader.Feed(stream.data() + at, std::min(piece, stream.size() - at));
    vmbridge::Frame frame;
    vmbridge::FrameReader::Result result;
    while ((result = reader.Next(&frame)) == vmbridge::FrameReader::Result::kFrame) {
      if (frame.data.size() > vmbridge::kMaxFrameData) __builtin_trap();
      consumed += vmbridge::EncodeFrame(frame.type, frame.data.data(),
                                        static_cast<std::uint32_t>(frame.data.size()));
    }
    if (result == vmbridge::FrameReader::Result::kBad) break;
  }
  if (stream.compare(0, consumed.size(), consumed) != 0) __builtin_trap();
  return 0;
}
