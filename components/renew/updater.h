#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>

#include "components/renew/update-description.h"

namespace lumo::renew {

// What the updater shows; called on the UI thread.
class UpdaterView {
 public:
  virtual ~UpdaterView() = default;
  virtual void ShowStatus(const std::string& headline, const std::string& detail) = 0;
  virtual void ShowProgress(std::uint64_t have, std::uint64_t total) = 0;
  // The update ended: on success the program folder holds the new version and it runs.
  virtual void Finished(bool success) = 0;
};

// Takes the program folder from one version to the described one: download, check, unpack
// beside it, ask Lumo to quit, swap the folders, start the new Lumo and keep the old folder
// until it runs. Every failure leaves the old folder in place. UI thread only; the long steps
// run on a worker of its own.
class Updater {
 public:
  Updater(UpdaterView* view, std::string programDir, UpdateDescription description);
  ~Updater();
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  void Start();
  // Past the point where Lumo is asked to quit: the update can no longer be abandoned.
  bool Installing() const { return installing_; }
  // Stops a download or unpacking and waits for the worker.
  void Cancel();

 private:
  void Prepare();  // on the worker
  bool Verify(const std::string& archive);
  void Fail(const std::string& headline, const std::string& detail);
  void QuitLumo();
  bool WaitForLumoToEnd();
  void SwapAndStart();
  bool WaitForNewLumo();
  void Restore(const std::string& why);
  void FinishRestore();
  void Join();

  UpdaterView* view_;
  const std::string programDir_;
  const UpdateDescription description_;
  std::string archivePath_;
  std::string staging_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  bool installing_ = false;
  bool restoring_ = false;
  bool swapped_ = false;  // the program folder holds the new version, staging the old
  std::string failure_;
  std::int64_t waitStart_ = 0;
  pid_t newLumo_ = 0;
  bool newLumoEnded_ = false;
  unsigned timer_ = 0;
};

}  // namespace lumo::renew
