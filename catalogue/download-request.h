#pragma once

#include <cstdint>
#include <string>

#include "app/web-address.h"
#include "catalogue/app-item-info.h"

namespace lumo {

// What a store says a game's APK must be, checked once its download has ended: its size in
// bytes (-1: not given) and its SHA-256 in lower-case hex (empty: not given).
struct DownloadCheck {
  std::int64_t size = -1;
  std::string sha256;
  bool empty() const { return size < 0 && sha256.empty(); }
};

// A store page's download request: one JSON object whose members "packageName", "appName",
// "imageUrl", "apkUrl" and "detailUrl" are strings, booleans (read as "true"/"false") or
// null (read as ""); other members are ignored and comments are allowed. Fills those five
// fields of `record`; false, with `record` untouched, when the text is not such an object.
// Two members of the store's own, "size" (a whole number of bytes) and "sha256" (64 hex
// digits), fill `check` when given; a request whose check is malformed is refused whole.
bool ParseDownloadRequest(const std::string& json, AppItemInfo* record,
                          DownloadCheck* check = nullptr);

}  // namespace lumo
