#pragma once

#include <string>

namespace lumo {

// True when a step of `path` between separators ("/" or "\") is "." or "..": such a path
// could lead out of the folder it is meant to stay in.
bool HasDotStep(const std::string& path);

}  // namespace lumo
