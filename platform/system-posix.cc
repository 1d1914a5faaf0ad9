#include <cstring>
#include <malloc.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
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

void ReturnFreedMemory() {
  malloc_trim(0);
}

std::uint64_t PhysicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

bool Is64BitOperatingSystem() {
  utsname name{};
  if (uname(&name) != 0) return sizeof(void*) == 8;
  return std::strstr(name.machine, "64") != nullptr || std::strcmp(name.machine, "s390x") == 0;
}

}  // namespace lumo::platform
