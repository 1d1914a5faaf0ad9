#include <sys/syscall.h>
#include <unistd.h>

#include "platform/system.h"

namespace lumo::platform {

std::uint64_t CurrentThreadId() {
  return static_cast<std::uint64_t>(syscall(SYS_gettid));
}

int ProcessorCount() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

std::uint64_t PhysicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

}  // namespace lumo::platform
