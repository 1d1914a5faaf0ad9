// Any bytes as a bundle: reading never crashes, and a bundle that reads has a base, at most
// the capped number of parts, and only part names that stay inside a folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/apk-bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumo::BundleLayout layout;
  std::string error;
  if (!lumo::ReadBundleBytes(data, size, &layout, &error)) return 0;
  if (layout.base.empty() || layout.splits.size() >= lumo::kMaxBundleParts) __builtin_trap();
  for (const std::string& name : layout.splits)
    if (name.empty() || name[0] == '/' || name.rfind("../", 0) == 0 ||
        name.find("/../") != std::string::npos)
      __builtin_trap();
  return 0;
}
