#include "game/worker-actions.h"

#include <chrono>
#include <thread>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/thread-guard.h"
#include "app/worker-pool.h"
#include "catalogue/app-database-task-loop.h"
#include "catalogue/failure-reasons.h"
#include "download/download-task-mgr.h"
#include "download/small-file-downloader.h"
#include "game/game-lifecycle.h"
#include "platform/file-system.h"
#include "stat/data-stat.h"
#include "vm/player-setup.h"
#include "vm/vm-abis.h"
#include "vm/vm-bridge-client.h"
#include "vm/vm-task-loop.h"

namespace lumo {

WorkerActions::WorkerActions(const Workers& workers, PlayerSetup& playerSetup)
    : workers_(workers), playerSetup_(playerSetup) {}

void WorkerActions::InsertRecord(const AppItemInfo& record) {
  PostInsertApp(*workers_.catalogue, std::make_shared<AppItemInfo>(record));
}

void WorkerActions::UpdateRecord(const AppItemInfo& record) {
  PostUpdateApp(*workers_.catalogue, std::make_shared<AppItemInfo>(record));
}

void WorkerActions::DeleteRecord(const std::string& packageName) {
  PostDeleteApp(*workers_.catalogue, packageName);
}

void WorkerActions::SaveCheck(const std::string& packageName, const DownloadCheck& check) {
  workers_.catalogue->post(std::make_shared<SaveDownloadCheckTask>(packageName, check));
}

void WorkerActions::ForgetCheck(const std::string& packageName) {
  workers_.catalogue->post(std::make_shared<ForgetDownloadCheckTask>(packageName));
}

void WorkerActions::SaveFailure(const std::string& packageName, const FailureReason& failure) {
  workers_.catalogue->post(std::make_shared<SaveFailureTask>(packageName, failure));
}

void WorkerActions::ForgetFailure(const std::string& packageName) {
  workers_.catalogue->post(std::make_shared<ForgetFailureTask>(packageName));
}

void WorkerActions::FetchIcon(const AppItemInfo& record) {
  if (platform::PathExists(record.imagePath)) return;
  // Off the UI thread: a slow icon host must not freeze the window. The downloader reports
  // through the Dispatcher whatever happens.
  workers_.jobs->Run("icon download", [url = record.imageUrl, path = record.imagePath,
                                       packageName = record.packageName] {
    SmallFileDownloader::Download(url, path, packageName);
  });
}

DownloadRoom WorkerActions::RoomFor(const std::string& packageName) {
  // The folder of the moment: a change saved in the settings window counts from the next
  // download on.
  const std::string& downloadDir = Settings::instance().downloadDir;
  DownloadRoom room;
  if (!platform::MakeDirs(downloadDir) || !platform::IsWritableDirectory(downloadDir))
    room.blocked = "the download folder " + downloadDir + " cannot be written";
  else if (!workers_.downloads->available())
    room.blocked = "the download engine is not available";
  if (!room.blocked.empty()) return room;
  room.freeKnown = platform::FreeSpaceOf(downloadDir, &room.freeBytes);
  platform::RegularFileSize(PathJoin(downloadDir, packageName + ".apk"), &room.partialBytes);
  return room;
}

void WorkerActions::StartDownload(const AppItemInfo& record, bool startNow) {
  DownloadTaskMgr& manager = *workers_.downloads;
  // A download of a game that was downloaded before starts from a new task.
  manager.stopTask(record.packageName);
  manager.removeTask(record.packageName);
  manager.addTask(std::make_shared<DownloadTask>(record.packageName, record.apkUrl,
                                                 Settings::instance().downloadDir,
                                                 record.packageName + ".apk"));
  if (startNow) manager.startTask(record.packageName);
}

bool WorkerActions::RestartDownload(const std::string& packageName) {
  if (!workers_.downloads->hasTask(packageName)) return false;
  workers_.downloads->startTask(packageName);
  return true;
}

void WorkerActions::PauseDownload(const std::string& packageName) {
  workers_.downloads->stopTask(packageName);
}

void WorkerActions::DropDownload(const std::string& packageName) {
  workers_.downloads->stopTask(packageName);
  workers_.downloads->removeTask(packageName);
}

void WorkerActions::Inspect(const std::string& packageName, const std::string& path,
                            const DownloadCheck& check) {
  auto inspection = std::make_unique<ApkInspection>();
  inspection->packageName = packageName;
  inspection->badging.apkPath = path;
  inspection->check = check;
  // aapt may take seconds on a large APK: it runs on a worker and its findings come back as
  // MSG_APK_INSPECTED.
  workers_.jobs->Run("apk inspection", [inspection = std::move(inspection)]() mutable {
    if (inspection->check.empty()) {
      ReadApkBadging(inspection->badging);
    } else {
      // aapt reads the file while it is hashed, each on a processor of its own; what it
      // found counts only for a file that passes.
      ApkBadging badging = inspection->badging;
      std::thread reader(Guarded("apk badging", [&badging] { ReadApkBadging(badging); }));
      inspection->failure = VerifyDownload(inspection->badging.apkPath, inspection->check);
      reader.join();
      // A refused file is not kept: a retry downloads it afresh.
      if (inspection->failure.empty())
        inspection->badging = std::move(badging);
      else
        platform::RemoveFile(inspection->badging.apkPath);
    }
    Dispatcher::instance()->SendOwned(MSG_APK_INSPECTED, std::move(inspection));
  });
}

void WorkerActions::PlayerSetupProgress(float fraction) {
  playerSetup_.OnDownloadProgress(fraction);
}

void WorkerActions::InstallPlayer(const std::string& setupPath) {
  playerSetup_.OnDownloaded(setupPath);
}

void WorkerActions::PlayerSetupFailed(int code) {
  playerSetup_.OnDownloadFailed(code);
}

void WorkerActions::QueueInstall(const AppItemInfo& record) {
  workers_.vmTasks->AddTask(std::make_shared<ApkInstallTask>(record.localPath, record.packageName));
  playerSetup_.Need();
}

void WorkerActions::QueueUninstall(const std::string& packageName) {
  workers_.vmTasks->AddTask(std::make_shared<ApkUninstallTask>(packageName));
}

void WorkerActions::Launch(const AppItemInfo& record) {
  workers_.bridge->LaunchApp(record.packageName, record.launchActivity, record.appName,
                             record.imagePath);
  playerSetup_.Need();
}

void WorkerActions::RemoveFiles(const std::string& apkPath, const std::string& iconPath) {
  if (apkPath.empty() && iconPath.empty()) return;
  workers_.jobs->Run("file removal", [apkPath, iconPath] {
    if (!apkPath.empty()) platform::RemoveFile(apkPath);
    if (!iconPath.empty()) platform::RemoveFile(iconPath);
  });
}

void WorkerActions::Report(int event, const std::string& packageName, int value) {
  ReportEvent(event, packageName, value);
}

bool WorkerActions::IsFile(const std::string& path) {
  return platform::IsRegularFile(path);
}

std::vector<std::string> WorkerActions::VmAbis() {
  return KnownVmAbis();
}

std::int64_t WorkerActions::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace lumo
