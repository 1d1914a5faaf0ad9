#pragma once

#include <string>

namespace lumo {

// a + "/" + b, after which every run of separators ("/" or "\") is cut to its first one.
std::string PathJoin(const std::string& a, const std::string& b);

// The running executable's folder, ending with a separator.
std::string ExeDir();

// The user's local application-data folder. Linux has no short names: the path is the same.
std::string LocalAppDataShortPath();

// The mount point of the local fixed file system with the most space free for this user;
// empty when none has any. Ties go to the earlier one in the mount table.
std::string FixedDriveWithMostSpace();

}  // namespace lumo
