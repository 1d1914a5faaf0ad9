#pragma once

#include <string>

namespace lumo::platform {

// The file name a shared library called `base` has on this platform ("libbase.so").
std::string SharedLibraryFileName(const std::string& base);

// A run-time loaded library. Empty when loading failed; Symbol then yields null.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool IsLoaded() const { return handle_ != nullptr; }
  void* Symbol(const char* name) const;
  // Symbol as a function of type `Fn`: false, and `*fn` null, when the library has none.
  template <typename Fn>
  bool Bind(const char* name, Fn* fn) const {
    *fn = reinterpret_cast<Fn>(Symbol(name));
    return *fn != nullptr;
  }
  // Unloads now; harmless when nothing is loaded.
  void Free();
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace lumo::platform
