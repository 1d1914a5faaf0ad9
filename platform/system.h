#pragma once

#include <cstdint>

namespace lumo::platform {

// The operating system's id of the calling thread.
std::uint64_t CurrentThreadId();

int ProcessorCount();
std::uint64_t PhysicalMemoryBytes();

}  // namespace lumo::platform
