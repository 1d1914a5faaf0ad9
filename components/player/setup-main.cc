// AKTInstaller.exe: the player's setup program. It carries the player as a payload appended
// to its own file and installs it into the folder given with "/D=". Switches: "/S" silent (no
// progress text), "/NCRC" skips the payload's checksum. The build makes it with
// "--pack <player> <output>".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file-system.h"

namespace {

constexpr char kMagic[8] = {'A', 'K', 'T', 'P', 'L', 'D', '0', '1'};
constexpr std::size_t kTrailerSize = 8 + 8 + 4 + 8;
constexpr char kPlayerName[] = "Runbox.exe";

enum Exit { kExitOk = 0, kExitUsage = 1, kExitNoPayload = 2, kExitWriteFailed = 3 };

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xffffffffu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

std::uint64_t Get(const std::string& in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

bool ReadFile(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The setup's own file with the player appended, then the trailer that finds it again.
int Pack(const std::string& playerPath, const std::string& outputPath) {
  std::string self, player;
  if (!ReadFile("/proc/self/exe", &self) || !ReadFile(playerPath, &player)) {
    std::fprintf(stderr, "AKTInstaller: cannot read %s\n", playerPath.c_str());
    return kExitUsage;
  }
  std::string out = self + player;
  Put(&out, self.size(), 8);
  Put(&out, player.size(), 8);
  Put(&out, Crc32(player), 4);
  out.append(kMagic, sizeof(kMagic));
  if (!lumo::platform::WriteFileAtomically(outputPath, out) ||
      chmod(outputPath.c_str(), 0755) != 0) {
    std::fprintf(stderr, "AKTInstaller: cannot write %s\n", outputPath.c_str());
    return kExitWriteFailed;
  }
  return kExitOk;
}

// The player out of this file; false with `error` when it is missing or damaged.
bool ReadPayload(bool checkCrc, std::string* player, std::string* error) {
  std::string self;
  if (!ReadFile("/proc/self/exe", &self) || self.size() < kTrailerSize) {
    *error = "cannot read the setup file";
    return false;
  }
  std::size_t trailer = self.size() - kTrailerSize;
  if (std::memcmp(self.data() + trailer + 20, kMagic, sizeof(kMagic)) != 0) {
    *error = "the setup carries no player";
    return false;
  }
  std::uint64_t offset = Get(self, trailer, 8), size = Get(self, trailer + 8, 8);
  if (offset > trailer || size != trailer - offset) {
    *error = "the setup's payload is damaged";
    return false;
  }
  player->assign(self, offset, size);
  if (checkCrc && Crc32(*player) != Get(self, trailer + 16, 4)) {
    *error = "the setup's payload fails its checksum";
    return false;
  }
  return true;
}

int Install(const std::string& folder, bool silent, bool checkCrc) {
  std::string player, error;
  if (!ReadPayload(checkCrc, &player, &error)) {
    std::fprintf(stderr, "AKTInstaller: %s\n", error.c_str());
    return kExitNoPayload;
  }
  std::string target = folder + "/" + kPlayerName;
  // The file is replaced by a rename, so a player that runs keeps its old program intact.
  if (!lumo::platform::MakeDirs(folder) || !lumo::platform::WriteFileAtomically(target, player) ||
      chmod(target.c_str(), 0755) != 0) {
    std::fprintf(stderr, "AKTInstaller: cannot install into %s\n", folder.c_str());
    return kExitWriteFailed;
  }
  if (!silent) std::printf("Runbox installed in %s\n", folder.c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--pack") == 0) return Pack(argv[2], argv[3]);
  bool silent = false, checkCrc = true;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "/S") {
      silent = true;
    } else if (arg == "/NCRC") {
      checkCrc = false;
    } else if (arg.rfind("/D=", 0) == 0) {
      // "/D=" comes last and takes the rest of the line, spaces included.
      folder = arg.substr(3);
      for (++i; i < argc; ++i) folder += std::string(" ") + argv[i];
    } else {
      std::fprintf(stderr, "AKTInstaller: unknown switch %s\n", arg.c_str());
      return kExitUsage;
    }
  }
  if (folder.empty()) folder = lumo::platform::LocalAppDataFolder() + "/Programs/LUMPlayer";
  return Install(folder, silent, checkCrc);
}
