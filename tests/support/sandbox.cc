#include "tests/support/sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace lumo::test {

namespace {

void SaveEnv(const char* name, std::string* value, bool* had) {
  const char* current = std::getenv(name);
  *had = current != nullptr;
  if (current) *value = current;
}

void RestoreEnv(const char* name, const std::string& value, bool had) {
  if (had)
    setenv(name, value.c_str(), 1);
  else
    unsetenv(name);
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumo-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests make folders read-only on purpose; give write access back before removing them.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

SandboxHome::SandboxHome() {
  SaveEnv("HOME", &oldHome_, &hadHome_);
  SaveEnv("XDG_DATA_HOME", &oldData_, &hadData_);
  SaveEnv("XDG_RUNTIME_DIR", &oldRuntime_, &hadRuntime_);
  SaveEnv("RUNBOX_ADB", &oldAdb_, &hadAdb_);
  mkdir(dataHome().c_str(), 0755);
  mkdir(runtimeDir().c_str(), 0700);
  setenv("HOME", home().c_str(), 1);
  setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtimeDir().c_str(), 1);
  // A player looks for devices through adb as it starts; in a sandbox it finds no adb, so no
  // test starts or meets the user's adb server. Device tests name a private one.
  setenv("RUNBOX_ADB", (home() + "/no-adb").c_str(), 1);
}

SandboxHome::~SandboxHome() {
  RestoreEnv("HOME", oldHome_, hadHome_);
  RestoreEnv("XDG_DATA_HOME", oldData_, hadData_);
  RestoreEnv("XDG_RUNTIME_DIR", oldRuntime_, hadRuntime_);
  RestoreEnv("RUNBOX_ADB", oldAdb_, hadAdb_);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace lumo::test
