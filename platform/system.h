#pragma once

#include <cstdint>

namespace lumo::platform {

// The operating system's id of the calling thread.
std::uint64_t CurrentThreadId();

int ProcessorCount();
std::uint64_t PhysicalMemoryBytes();

// Hands the pages that freed memory left in the allocator back to the system.
void ReturnFreedMemory();

// True on a 64-bit operating system, whatever this program's own word size.
bool Is64BitOperatingSystem();

}  // namespace lumo::platform
