#pragma once

#include <string>

#include "app/web-address.h"
#include "catalogue/app-item-info.h"

namespace lumo {

// A store page's download request: one JSON object whose members "packageName", "appName",
// "imageUrl", "apkUrl" and "detailUrl" are strings, booleans (read as "true"/"false") or
// null (read as ""); other members are ignored and comments are allowed. Fills those five
// fields of `record`; false, with `record` untouched, when the text is not such an object.
bool ParseDownloadRequest(const std::string& json, AppItemInfo* record);

}  // namespace lumo
