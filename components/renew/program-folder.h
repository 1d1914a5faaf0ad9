#pragma once

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

}  // namespace lumo::renew
