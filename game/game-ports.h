#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/app-item-info.h"
#include "catalogue/download-request.h"
#include "catalogue/failure-reasons.h"

namespace lumo {

// What a game download may use of the download folder, as the folder and the engine stand.
struct DownloadRoom {
  // Why no download can start at all (the folder, the engine); empty when one can.
  std::string blocked;
  bool freeKnown = false;
  std::uint64_t freeBytes = 0;
  // What the game's file in the folder already holds, which a resumed download keeps.
  std::uint64_t partialBytes = 0;
};

// What the game lifecycle asks of the rest of the program. The program's implementation hands
// each request to its worker (catalogue, download engine, task loop, bridge); every call is
// made on the UI thread and returns without waiting for the work.
class GameActions {
 public:
  virtual ~GameActions() = default;

  // The catalogue gets copies of the records.
  virtual void InsertRecord(const AppItemInfo& record) = 0;
  virtual void UpdateRecord(const AppItemInfo& record) = 0;
  virtual void DeleteRecord(const std::string& packageName) = 0;
  virtual void SaveCheck(const std::string& packageName, const DownloadCheck& check) = 0;
  virtual void ForgetCheck(const std::string& packageName) = 0;
  virtual void SaveFailure(const std::string& packageName, const FailureReason& failure) = 0;
  virtual void ForgetFailure(const std::string& packageName) = 0;

  // Fetches the game's icon from `imageUrl` into `imagePath`, unless that file is there.
  virtual void FetchIcon(const AppItemInfo& record) = 0;
  virtual DownloadRoom RoomFor(const std::string& packageName) = 0;
  // Registers a new download task for the game's APK, replacing any earlier one.
  virtual void StartDownload(const AppItemInfo& record, bool startNow) = 0;
  // Starts the game's registered task again; false when it has none.
  virtual bool RestartDownload(const std::string& packageName) = 0;
  virtual void PauseDownload(const std::string& packageName) = 0;
  // Stops the game's task and forgets it.
  virtual void DropDownload(const std::string& packageName) = 0;
  // Checks the downloaded file against `check` and reads its badging on a worker; the result
  // comes back as GameLifecycle::OnApkInspected.
  virtual void Inspect(const std::string& packageName, const std::string& path,
                       const DownloadCheck& check) = 0;
  // The player setup's download, which runs under the task key kPlayerTaskKey: its progress,
  // its file, its failure with the engine's code.
  virtual void PlayerSetupProgress(float fraction) = 0;
  virtual void InstallPlayer(const std::string& setupPath) = 0;
  virtual void PlayerSetupFailed(int code) = 0;

  // An install or a launch also makes sure the player's setup is under way.
  virtual void QueueInstall(const AppItemInfo& record) = 0;
  virtual void QueueUninstall(const std::string& packageName) = 0;
  virtual void Launch(const AppItemInfo& record) = 0;
  // Removes the files on a worker; an empty path is skipped.
  virtual void RemoveFiles(const std::string& apkPath, const std::string& iconPath) = 0;
  // A usage event for the statistics library.
  virtual void Report(int event, const std::string& packageName, int value) = 0;

  // Whether `path` names a file that is there (an icon fetch reports its failures too).
  virtual bool IsFile(const std::string& path) = 0;
  // The ABIs the player's VM runs as last announced; empty when unknown.
  virtual std::vector<std::string> VmAbis() = 0;
  // Monotonic milliseconds.
  virtual std::int64_t NowMs() = 0;
};

// How a game's state reads beside its status.
struct StatusNote {
  // The speed of a download (status 1) or the expected install time (status 5).
  std::string text;
  // Why the game failed (statuses 3 and 7); replaces the detail panel's plain text.
  std::string reason;
  // Whether trying again can end the failure otherwise. A failure that lies in the game's file
  // itself ends the same way every time: the detail panel offers the delete instead.
  bool retryHelps = true;
};

// What the game lifecycle shows. The main window draws it; tests record it. UI thread.
class GameView {
 public:
  virtual ~GameView() = default;
  // A game new to the list, placed on top and selected; false when it could not be drawn.
  virtual bool AddGame(const AppItemInfo& record) = 0;
  // A game of the catalogue's load, drawn later in the load's order.
  virtual void QueueLoadedGame(const std::string& packageName) = 0;
  virtual void ShowStatus(const AppItemInfo& record, const StatusNote& note) = 0;
  virtual void ShowIcon(const std::string& packageName, const std::string& path) = 0;
  virtual void RemoveGame(const std::string& packageName) = 0;
  // A desktop notification of how a step ended, when the window is not in view.
  virtual void Tell(const AppItemInfo& record, const std::string& text) = 0;
  // A game came, went or changed its status or progress; the store's pages are told the new
  // states (game/store-states.h). Many changes in a row may be told once.
  virtual void StatesChanged() = 0;
};

}  // namespace lumo
