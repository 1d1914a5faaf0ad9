#pragma once

#include <string>

#include "catalogue/app-database-task-loop.h"

struct sqlite3;

namespace lumo {

// Worker thread: whether every page of the open catalogue reads as a database. A file that
// is not one, is cut short or has a damaged page fails; one that is only locked by another
// process, or cannot be read for want of a working disk, passes.
bool CatalogueIsReadable(sqlite3* db, std::string* why);

// Worker thread: moves the damaged file at `path`, with its journal files, aside to
// "<path>.damaged-YYYYMMDD-HHMMSS" (local time), so that nothing of it is lost and a new
// catalogue can start in its place. Returns the new path; empty when it could not be moved.
// The last file moved aside is remembered for ReportSetAsideCatalogueTask.
std::string SetDamagedCatalogueAside(const std::string& path);

// Sends MSG_CATALOGUE_SET_ASIDE, with the path of the file set aside, to the windows
// registered for it when the catalogue was set aside since the last report; nothing
// otherwise. Posted after the catalogue is opened, so it reports that opening.
class ReportSetAsideCatalogueTask : public AppDatabaseTask {
 public:
  void run(CatalogueConnection& connection) override;
};

}  // namespace lumo
