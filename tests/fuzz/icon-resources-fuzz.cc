// Any text as aapt's resource dump and XML tree: reading never crashes, and whatever it picks
// as a picture is a file value of the table.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/icon-resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  lumo::ResourceTable table = lumo::ParseResourceTable(text);
  lumo::AdaptiveLayers layers;
  lumo::ParseAdaptiveIconTree(text, &layers);
  for (const auto& [id, values] : table) {
    std::string best = lumo::BestRasterEntry(table, id);
    if (!best.empty() && lumo::ResourceOfEntry(table, best).empty()) __builtin_trap();
  }
  return 0;
}
