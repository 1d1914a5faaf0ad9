#include "app/paths.h"

#include "platform/file-system.h"

namespace lumo {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

std::string PathJoin(const std::string& a, const std::string& b) {
  std::string joined = a + "/" + b;
  std::string out;
  out.reserve(joined.size());
  for (char c : joined) {
    if (IsSeparator(c) && !out.empty() && IsSeparator(out.back())) continue;
    out.push_back(c);
  }
  return out;
}

std::string ExeDir() {
  std::string path = platform::ExecutablePath();
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string LocalAppDataShortPath() {
  // Unlike its Windows counterpart, the folder may not exist yet on a fresh account.
  std::string folder = platform::LocalAppDataFolder();
  return platform::MakeDirs(folder) ? folder : std::string();
}

std::string FixedDriveWithMostSpace() {
  std::uint64_t best = 0;
  std::string result;
  for (const platform::FixedVolume& volume : platform::ListFixedVolumes()) {
    if (volume.freeKnown && volume.freeBytes > best) {
      best = volume.freeBytes;
      result = volume.root;
    }
  }
  return result;
}

}  // namespace lumo
