// Any text a player may announce as its ABIs: parsing never crashes, the list is bounded, and
// each name is a plain ABI name that a second parse of the kept form gives back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vm/vm-abis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> abis = lumo::ParseVmAbis(text);
  if (abis.size() > 16 || lumo::ParseVmAbis(lumo::JoinAbis(abis)) != abis) __builtin_trap();
  for (const std::string& abi : abis)
    if (abi.empty() || abi.size() > 32) __builtin_trap();
  lumo::NativeCodeMismatch(abis, {"x86"});
  return 0;
}
