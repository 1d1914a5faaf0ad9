// Any output the packaging tool may print: parsing never crashes, every field is a piece of
// one line, names hold no blank, and a package name is a valid one or nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apk/badging-lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  lumo::ApkBadging info;
  lumo::ParseBadgingLines(text, info);
  for (const std::string* field :
       {&info.packageName, &info.iconEntry, &info.launchActivity, &info.label}) {
    if (field->size() > text.size() || field->find_first_of("\r\n") != std::string::npos)
      __builtin_trap();
  }
  if (info.launchActivity.find_first_of(" \t") != std::string::npos) __builtin_trap();
  for (const std::string& abi : info.nativeCode)
    if (abi.empty() || abi.size() > 32 || abi.find_first_of("' ,") != std::string::npos)
      __builtin_trap();
  if (!info.packageName.empty() && !lumo::IsValidPackageName(info.packageName)) __builtin_trap();
  return 0;
}
