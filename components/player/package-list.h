#pragma once

#include <string>
#include <vector>

#include "components/player/package-record.h"

namespace runbox {

// The answer to Lumo's question which packages are installed: texts of one message each, a
// first line "+" (more follow) or "." (the last), then one package name a line. Each text
// stays well below the bridge's message limit.
std::vector<std::string> PackageListTexts(const std::vector<InstalledPackage>& packages);

}  // namespace runbox
