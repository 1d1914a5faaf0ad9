#include "apk/package-name.h"

namespace lumo {

bool IsValidPackageName(const std::string& name) {
  if (name.empty() || name.size() > 200) return false;
  bool segmentEmpty = true;
  for (char c : name) {
    if (c == '.') {
      if (segmentEmpty) return false;
      segmentEmpty = true;
      continue;
    }
    bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
    segmentEmpty = false;
  }
  return !segmentEmpty;
}

}  // namespace lumo
