#pragma once

#include "app/workers.h"
#include "game/game-ports.h"

namespace lumo {

class PlayerSetup;

// The game lifecycle's requests, handed to the program's workers: the catalogue, the download
// engine, the player's task loop and bridge, the statistics library. UI thread.
class WorkerActions final : public GameActions {
 public:
  WorkerActions(const Workers& workers, PlayerSetup& playerSetup);

  void InsertRecord(const AppItemInfo& record) override;
  void UpdateRecord(const AppItemInfo& record) override;
  void DeleteRecord(const std::string& packageName) override;
  void SaveCheck(const std::string& packageName, const DownloadCheck& check) override;
  void ForgetCheck(const std::string& packageName) override;
  void SaveFailure(const std::string& packageName, const FailureReason& failure) override;
  void ForgetFailure(const std::string& packageName) override;
  void FetchIcon(const AppItemInfo& record) override;
  DownloadRoom RoomFor(const std::string& packageName) override;
  void StartDownload(const AppItemInfo& record, bool startNow) override;
  bool RestartDownload(const std::string& packageName) override;
  void PauseDownload(const std::string& packageName) override;
  void DropDownload(const std::string& packageName) override;
  void Inspect(const std::string& packageName, const std::string& path,
               const DownloadCheck& check) override;
  void PlayerSetupProgress(float fraction) override;
  void InstallPlayer(const std::string& setupPath) override;
  void PlayerSetupFailed(int code) override;
  void QueueInstall(const AppItemInfo& record) override;
  void QueueUninstall(const std::string& packageName) override;
  void Launch(const AppItemInfo& record) override;
  void RemoveFiles(const std::string& apkPath, const std::string& iconPath) override;
  void Report(int event, const std::string& packageName, int value) override;
  bool IsFile(const std::string& path) override;
  std::vector<std::string> VmAbis() override;
  std::int64_t NowMs() override;

 private:
  const Workers& workers_;
  PlayerSetup& playerSetup_;
};

}  // namespace lumo
