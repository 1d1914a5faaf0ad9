#pragma once

#include <string>
#include <string_view>

#include "apk/apk-badging.h"

namespace lumo {

// Takes packageName with its versionCode and versionName, iconEntry, launchActivity, label and
// nativeCode out of the packaging tool's "dump badging" output. Each field comes only from a line
// that starts with its own key, so text inside another field (a label that spells out a key) is
// never read as that key. A field whose line is missing, or never well-formed, keeps its value.
// Logs nothing.
void ParseBadgingLines(std::string_view output, ApkBadging& info);

}  // namespace lumo
