#pragma once

#include <functional>
#include <string>

namespace lumo::renew {

// A new, empty folder beside `programDir`, on the same file system so that it can take the
// program folder's place by a rename. Empty on failure.
std::string MakeStagingFolder(const std::string& programDir);

// Swaps two folders in one step where the file system allows it, so that `b`'s path never
// stops holding a whole program folder; elsewhere by three renames.
bool ExchangeFolders(const std::string& a, const std::string& b);

// Removes a folder and everything in it without following links.
bool RemoveTree(const std::string& path);

// The file an update puts in a new program folder before it takes the old one's place. The new
// Lumo removes it when it has shown its window; a folder that still holds it is unconfirmed.
inline constexpr char kUnconfirmedMark[] = ".renew-unconfirmed";

// Finishes or rolls back what an update that was killed left beside `programDir`, so that one
// whole program folder remains: a new folder not yet confirmed gives way to the old one kept
// beside it; every other leftover (a staged new program, whole or cut short, or the old
// program after a confirmed update) is removed. Each step is reported through `say`. Only for
// a process that holds the updater's lock. While a Lumo window is up (`mayRollBack` false), an
// unconfirmed update is left for that Lumo to confirm.
void SettleLeftoverUpdates(const std::string& programDir, bool mayRollBack,
                           const std::function<void(const std::string&)>& say);

}  // namespace lumo::renew
