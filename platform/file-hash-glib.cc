#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include <glib.h>

#include "platform/file-system.h"

namespace lumo::platform {

bool HashFile(const std::string& path, std::string* sha256, std::uint64_t* size) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
  std::vector<unsigned char> buffer(1 << 20);
  std::uint64_t total = 0;
  ssize_t n = 0;
  while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
    g_checksum_update(checksum, buffer.data(), static_cast<gssize>(n));
    total += static_cast<std::uint64_t>(n);
  }
  close(fd);
  if (n == 0) {
    *sha256 = g_checksum_get_string(checksum);
    *size = total;
  }
  g_checksum_free(checksum);
  return n == 0;
}

}  // namespace lumo::platform
