#include <algorithm>

#include "vm/vm-abis.h"

namespace lumo {

namespace {

constexpr std::size_t kMaxAbis = 16;
constexpr std::size_t kMaxText = 1024;

bool IsAbiName(std::string_view name) {
  if (name.empty() || name.size() > 32) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

}  // namespace

std::string JoinAbis(const std::vector<std::string>& abis) {
  std::string text;
  for (const std::string& abi : abis) text += (text.empty() ? "" : ",") + abi;
  return text;
}

std::vector<std::string> ParseVmAbis(std::string_view text) {
  std::vector<std::string> abis;
  text = text.substr(0, std::min(text.size(), kMaxText));
  while (!text.empty() && abis.size() < kMaxAbis) {
    std::size_t comma = text.find_first_of(",\n");
    std::string_view name = text.substr(0, comma);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    if (IsAbiName(name) && std::find(abis.begin(), abis.end(), name) == abis.end())
      abis.emplace_back(name);
  }
  return abis;
}

std::string NativeCodeMismatch(const std::vector<std::string>& nativeCode,
                               const std::vector<std::string>& vmAbis) {
  if (nativeCode.empty() || vmAbis.empty()) return {};
  for (const std::string& abi : nativeCode)
    if (std::find(vmAbis.begin(), vmAbis.end(), abi) != vmAbis.end()) return {};
  return "native code only for " + JoinAbis(nativeCode) + ", the VM runs " + JoinAbis(vmAbis);
}

}  // namespace lumo
