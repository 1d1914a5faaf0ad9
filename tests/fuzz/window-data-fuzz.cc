// Any datagram another process may send to a window: reading it never crashes, the paths it
// yields all look like APK files, and what is read is what a sender would have written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/apk-handoff.h"
#include "platform/window-data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(bytes);
  std::uint32_t msg = 0;
  std::string data;
  if (lumo::platform::ParseWindowData(text, size, &msg, &data)) {
    std::string again = lumo::platform::EncodeWindowData(msg, data), read;
    std::uint32_t readMsg = 0;
    if (!lumo::platform::ParseWindowData(again.data(), again.size(), &readMsg, &read) ||
        readMsg != msg || read != data)
      __builtin_trap();
  } else {
    data.assign(text, size);
  }
  auto paths = lumo::DecodeApkPaths(data);
  if (paths.size() > lumo::kMaxApkPathsPerBlock) __builtin_trap();
  for (const std::string& path : paths)
    if (!lumo::LooksLikeApkPath(path)) __builtin_trap();
  std::string joined;
  for (const std::string& block : lumo::EncodeApkPaths(paths, lumo::platform::kMaxWindowData))
    for (const std::string& path : lumo::DecodeApkPaths(block)) joined += path + '\n';
  std::string expected;
  for (const std::string& path : paths) expected += path + '\n';
  if (joined != expected) __builtin_trap();
  return 0;
}
