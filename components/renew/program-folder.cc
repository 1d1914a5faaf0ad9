#include "components/renew/program-folder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>
#include <vector>

namespace lumo::renew {

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? rmdir(path) : unlink(path);
}

}  // namespace

std::string MakeStagingFolder(const std::string& programDir) {
  std::size_t slash = programDir.rfind('/');
  if (slash == std::string::npos || slash + 1 >= programDir.size()) return {};
  std::string pattern =
      programDir.substr(0, slash + 1) + "." + programDir.substr(slash + 1) + ".update-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

bool ExchangeFolders(const std::string& a, const std::string& b) {
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  std::string aside = a + ".swap";
  if (rename(a.c_str(), aside.c_str()) != 0) return false;
  if (rename(b.c_str(), a.c_str()) != 0) {
    rename(aside.c_str(), a.c_str());
    return false;
  }
  return rename(aside.c_str(), b.c_str()) == 0;
}

bool RemoveTree(const std::string& path) {
  return nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

}  // namespace lumo::renew
