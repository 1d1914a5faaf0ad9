#pragma once

#include <memory>

namespace lumo {

class AppDatabaseTaskLoop;
class DownloadTaskMgr;
class VMTaskLoop;
class VmBridgeClient;
class WorkerPool;

// The workers and services the run routine starts, handed to the windows that use them. The run
// routine owns them and stops and joins each in its shutdown order; the windows never outlive that.
struct Workers {
  std::shared_ptr<AppDatabaseTaskLoop> catalogue;
  std::shared_ptr<DownloadTaskMgr> downloads;
  // The link to the emulator, and the install and uninstall tasks that go through it; the
  // loop uses the bridge, so it is declared after it.
  std::shared_ptr<VmBridgeClient> bridge;
  std::shared_ptr<VMTaskLoop> vmTasks;
  // The short one-off jobs: icon downloads, APK inspections and reading, file removals, the
  // player's setup.
  std::shared_ptr<WorkerPool> jobs;
};

}  // namespace lumo
