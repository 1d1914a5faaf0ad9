#include "app/thread-guard.h"

#include <exception>
#include <stdexcept>

#include "app/log.h"

namespace lumo {

void LogEscapedException(const char* thread) noexcept {
  try {
    throw;
  } catch (const std::exception& error) {
    Log::instance()->write("%s thread ended by an exception: %s", thread, error.what());
  } catch (...) {
    Log::instance()->write("%s thread ended by an unknown exception", thread);
  }
}

}  // namespace lumo
