#pragma once

#include <string>

namespace lumo::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR into a fresh folder for the life of the
// object, so tests never touch the real user's files or lock, and RUNBOX_ADB at no program,
// so a player started there never reaches the user's adb server.
class SandboxHome {
 public:
  SandboxHome();
  ~SandboxHome();
  const std::string& home() const { return dir_.path(); }
  std::string dataHome() const { return dir_ / "share"; }
  std::string runtimeDir() const { return dir_ / "run"; }
  // The application folder the program makes in this home.
  std::string appDir() const { return dataHome() + "/lum"; }

 private:
  TempDir dir_;
  std::string oldHome_, oldData_, oldRuntime_, oldAdb_;
  bool hadHome_, hadData_, hadRuntime_, hadAdb_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

}  // namespace lumo::test
