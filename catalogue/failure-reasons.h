#pragma once

#include <map>
#include <string>

#include "catalogue/app-database-task-loop.h"

namespace lumo {

// Why a game failed, in the words the detail panel shows, and whether trying again can change
// it. Kept in a table of Lumo's own beside AppList, "AppFailure", so that a restart still says
// why.
struct FailureReason {
  std::string reason;
  bool retryHelps = true;
  bool operator==(const FailureReason&) const = default;
};
using FailureReasons = std::map<std::string, FailureReason>;

class SaveFailureTask : public AppDatabaseTask {
 public:
  SaveFailureTask(std::string packageName, FailureReason failure)
      : packageName_(std::move(packageName)), failure_(std::move(failure)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string packageName_;
  FailureReason failure_;
};

class ForgetFailureTask : public AppDatabaseTask {
 public:
  explicit ForgetFailureTask(std::string packageName) : packageName_(std::move(packageName)) {}
  void run(CatalogueConnection& connection) override;

 private:
  std::string packageName_;
};

// Hands every stored reason to the windows registered for MSG_FAILURES_LOADED in one owned
// send. Posted before the games are loaded, so their reasons are there first.
class LoadFailuresTask : public AppDatabaseTask {
 public:
  void run(CatalogueConnection& connection) override;
};

}  // namespace lumo
