#pragma once

#include <memory>

namespace lumo {

class AppDatabaseTaskLoop;
class DownloadTaskMgr;

// The workers the run routine starts, handed to the windows that use them. The run routine
// owns them and ends them in its shutdown order; the windows never outlive that.
struct Workers {
  std::shared_ptr<AppDatabaseTaskLoop> catalogue;
  std::shared_ptr<DownloadTaskMgr> downloads;
};

}  // namespace lumo
