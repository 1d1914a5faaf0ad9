#pragma once

#include <cstdint>
#include <string>

#include "apk/apk-badging.h"
#include "catalogue/app-item-info.h"

namespace lumo {

// A game added from disk has no page in the store: its detail panel shows a page Lumo makes
// from what the APK says about itself.
bool HasLocalDetail(const AppItemInfo& record);

// The page of one game, as MSG_LOCAL_DETAIL_READY carries it.
struct LocalDetail {
  std::string packageName;
  std::string html;
};

// Reads the game's file again, so the page says what the file holds now (or that it is gone),
// and makes its page. Blocks while aapt runs: a job for a worker.
LocalDetail ReadLocalDetail(const AppItemInfo& record);

// What the file was found to be: `read` is empty and `size` 0 when it could not be read.
struct LocalFile {
  ApkBadging read;
  bool readable = false;
  std::uint64_t size = 0;
};

// The page, with every text of the record and the file HTML-escaped, and no script: the page
// runs nothing even if a text were not.
std::string LocalDetailPage(const AppItemInfo& record, const LocalFile& file);

}  // namespace lumo
