#include <dlfcn.h>
#include <utility>

#include "platform/dynamic-library.h"

namespace lumo::platform {

std::string SharedLibraryFileName(const std::string& base) {
  return "lib" + base + ".so";
}

DynamicLibrary::DynamicLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* message = dlerror();
    error_ = message ? message : "dlopen failed";
  }
}

DynamicLibrary::~DynamicLibrary() {
  Free();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

void DynamicLibrary::Free() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace lumo::platform
