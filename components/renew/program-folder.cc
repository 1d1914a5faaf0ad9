#include "components/renew/program-folder.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
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

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// The staging folders MakeStagingFolder made beside `programDir`.
std::vector<std::string> Leftovers(const std::string& programDir) {
  std::vector<std::string> found;
  std::size_t slash = programDir.rfind('/');
  if (slash == std::string::npos) return found;
  std::string parent = programDir.substr(0, slash);
  std::string prefix = "." + programDir.substr(slash + 1) + ".update-";
  DIR* dir = opendir(parent.empty() ? "/" : parent.c_str());
  if (!dir) return found;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
      found.push_back(parent + "/" + name);
  }
  closedir(dir);
  return found;
}

}  // namespace

void SettleLeftoverUpdates(const std::string& programDir, bool mayRollBack,
                           const std::function<void(const std::string&)>& say) {
  std::vector<std::string> leftovers = Leftovers(programDir);
  if (Exists(programDir + "/" + kUnconfirmedMark)) {
    if (!mayRollBack) return;
    // The new program took the folder's place but never showed its window: the old one, kept
    // whole beside it and unmarked, comes back.
    for (const std::string& old : leftovers) {
      if (Exists(old + "/" + kUnconfirmedMark) || !Exists(old + "/lumo")) continue;
      if (ExchangeFolders(old, programDir)) {
        say("an unconfirmed update was rolled back to the program kept in " + old);
        break;
      }
    }
  }
  for (const std::string& leftover : Leftovers(programDir)) {
    bool removed = RemoveTree(leftover);
    say((removed ? "removed the update leftover " : "cannot remove the update leftover ") +
        leftover);
  }
}

}  // namespace lumo::renew
