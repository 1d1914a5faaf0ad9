#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xldl {

// What no server may make a download do. Each can be changed through the environment of the
// process that loads the engine (XLDL_LOWEST_SPEED, XLDL_SLOW_GRACE, XLDL_SLOW_RETRIES,
// XLDL_LENGTH_CAP, XLDL_FREE_MARGIN, XLDL_SESSION_IDLE, in bytes, bytes per second, seconds
// or a count), so that a test can bring them within its reach.
struct EngineLimits {
  // A connection slower than this (bytes per second) once slowGrace seconds have passed is
  // closed: a server that drips a byte now and then never holds a task "downloading" for ever.
  std::int64_t lowestSpeed = 1024;
  std::int64_t slowGrace = 10;
  // A download cut for slowness starts again this many times, after 1, 2, 4... seconds,
  // before its task fails.
  std::int64_t slowRetries = 3;
  // The most a file may be, whether or not the server announced its length.
  std::int64_t lengthCap = std::int64_t{8} << 30;
  // Free space left on the save folder's disk whatever a download needs.
  std::int64_t freeMargin = std::int64_t{64} << 20;
  // Seconds the engine's process is kept after the last download or preparation. It holds
  // aria2 with the system's trusted certificates, parsed; a download that finds none starts
  // one, in 40 ms on an idle machine and twice that while the store page is busy.
  std::int64_t sessionIdle = 10;

  static EngineLimits FromEnvironment();
  // The same limits as "NAME=value" entries, for the environment of the engine's process.
  std::vector<std::string> AsEnvironment() const;
};

}  // namespace xldl
