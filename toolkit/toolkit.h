#pragma once

#include <string>

namespace lumo::toolkit {

// Process-wide toolkit set-up, on the UI thread after the display is open: the resource
// folder and archive, the theme and the images the skins refer to. Skin texts name images
// as "skin:img/name.png"; the toolkit resolves that prefix to its unpacked copy.
bool Init(const std::string& resourceDir, const std::string& archiveName, std::string* error);
// Drops the theme; the unpacked images stay in the cache for the next start. Harmless when
// Init never ran.
void Shutdown();
bool IsInitialised();

// A skin file's text with "skin:" resolved. False (and a log line) when it is not in the archive.
bool LoadSkinText(const std::string& name, std::string* text);
// The file an archive image was unpacked to; empty when the archive has no such image or it
// does not decode.
std::string ImagePath(const std::string& name);
// The file a "skin:" reference or an archive name was unpacked to, without ImagePath's
// decoding check: for a caller that decodes it and reports failure itself. Empty when the
// archive has no such image.
std::string ImageFile(const std::string& reference);

}  // namespace lumo::toolkit
