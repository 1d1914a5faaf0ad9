#include "vm/vm-abis.h"

#include <algorithm>
#include <mutex>

#include "app/log.h"
#include "app/paths.h"
#include "platform/file-system.h"

namespace lumo {

namespace {

constexpr char kFileName[] = "vm-abis";

struct Known {
  std::mutex mutex;
  std::string folder;
  bool loaded = false;
  std::vector<std::string> abis;
};

Known& State() {
  static Known known;
  return known;
}

}  // namespace

void SetVmAbisFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().folder = folder;
  State().loaded = false;
}

std::vector<std::string> KnownVmAbis() {
  Known& known = State();
  std::lock_guard<std::mutex> lock(known.mutex);
  if (!known.loaded && !known.folder.empty()) {
    std::string text;
    if (platform::ReadWholeFile(PathJoin(known.folder, kFileName), &text))
      known.abis = ParseVmAbis(text);
    known.loaded = true;
  }
  return known.abis;
}

void RememberVmAbis(const std::vector<std::string>& abis) {
  Known& known = State();
  std::lock_guard<std::mutex> lock(known.mutex);
  known.loaded = true;
  if (abis.empty() || abis == known.abis) return;
  known.abis = abis;
  Log::instance()->write("the VM runs %s.", JoinAbis(abis).c_str());
  if (!known.folder.empty() &&
      !platform::WriteFileAtomically(PathJoin(known.folder, kFileName), JoinAbis(abis) + "\n"))
    Log::instance()->write("the VM's ABIs could not be kept in %s.", known.folder.c_str());
}

}  // namespace lumo
