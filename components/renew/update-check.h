#pragma once

#include <string>

#include "components/renew/update-description.h"

namespace lumo::renew {

struct CheckResult {
  enum class Kind { kFailed, kUpToDate, kNewer };
  Kind kind = Kind::kFailed;
  UpdateDescription description;
  std::string error;  // why the check failed
};

// Where the program folder's files say the update description is: cfglog.ini's "updateUrl",
// else "/update/renew.json" at the store's origin.
std::string DescriptionAddress(const std::string& programDir);
// config.ini's version; "0" when it is not a version, so that any release is newer.
std::string InstalledVersion(const std::string& programDir);

// Fetches and reads the description on the calling thread. A newer version is only offered
// with an archive to install.
CheckResult CheckForUpdate(const std::string& url, const std::string& installedVersion);

}  // namespace lumo::renew
