#pragma once

#include <string>

namespace lumo {

// An Android package name: dot-separated, non-empty segments of ASCII letters, digits and
// '_'. Only such a name may become part of a file name. Lumo and the player share this rule.
bool IsValidPackageName(const std::string& name);

}  // namespace lumo
