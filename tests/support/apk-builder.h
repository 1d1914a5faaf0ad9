#pragma once

#include <string>

#include "store/apk-builder.h"

namespace lumo::test {

// Tests build their APKs with the store's builder.
using store::AdaptiveIcon;
using store::ApkSpec;
using store::BuildApk;
using store::BuildBundle;
using store::IconEntryName;
using store::IconFormat;

// Replaces an ASCII text in the compiled AndroidManifest.xml of `apkPath` by another of the
// same length (the manifest's strings are UTF-16), e.g. to forge a package name that aapt
// would refuse to compile. False when the text is not there.
bool PatchManifestText(const std::string& apkPath, const std::string& from, const std::string& to);

// The bytes of one entry, read with the system's unzip (an independent reader); empty when
// there is no such entry.
std::string UnzipEntry(const std::string& apkPath, const std::string& entry);

}  // namespace lumo::test
