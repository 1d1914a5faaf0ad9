// Any text a page may pass as a download request: parsing never crashes, and a request that
// parses names exactly what it held.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/download-request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  lumo::AppItemInfo record;
  if (lumo::ParseDownloadRequest(text, &record) && record.packageName.size() > text.size())
    __builtin_trap();
  // An origin is never longer than its address and is itself a web address.
  std::string origin = lumo::WebOrigin(text);
  if (origin.size() > text.size() || (!origin.empty() && lumo::WebOrigin(origin) != origin))
    __builtin_trap();
  return 0;
}
