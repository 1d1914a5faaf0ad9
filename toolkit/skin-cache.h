#pragma once

#include <string>

#include "toolkit/resource-archive.h"

namespace lumo::toolkit {

// The folder under the user's cache folder ($XDG_CACHE_HOME/lum, default ~/.cache/lum) that
// holds the archive's images as files, for the theme's url() and GtkImage. It is made once
// per archive content: a later start with the same archive finds it, a changed archive gets
// a folder of its own and the old one goes. A folder is filled under a temporary name and
// renamed whole, so a crash never leaves a half-filled one in use. Empty, with `error` set,
// when it cannot be made.
std::string CachedImageFolder(const ResourceArchive& archive, const std::string& archivePath,
                              std::string* error);

// Whether an archive entry holds an image, rather than a layout or the theme, under a name
// that stays inside the folder.
bool IsImageEntry(const std::string& name);

}  // namespace lumo::toolkit
