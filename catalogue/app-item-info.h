#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/ui-loop.h"

namespace lumo {

// Status of a game: drives its list item, its detail panel and the progress control's state.
enum AppStatus : std::int32_t {
  kStatusQueued = 0,  // queued for download
  kStatusDownloading = 1,
  kStatusPaused = 2,
  kStatusDownloadFailed = 3,
  kStatusWaitingInstall = 4,  // downloaded, waiting for installation
  kStatusInstalling = 5,      // transient
  kStatusInstalled = 6,       // ready to launch
  kStatusInstallFailed = 7,
  kStatusQueuedForDelete = 8,  // transient
  kStatusDeleting = 9,         // transient
  kStatusDeleteFailed = 10,
};

// One game. The fields are in the column order of the catalogue table; text is UTF-8.
struct AppItemInfo {
  std::string packageName;
  std::string appName;
  std::string imageUrl;
  std::string imagePath;
  std::int32_t status = kStatusQueued;
  std::string detailUrl;
  std::string apkUrl;
  std::string localPath;
  std::string launchActivity;
  std::int32_t downloadPos = 0;

  bool operator==(const AppItemInfo&) const = default;
};

// The texts of a status come from one table: the list label, the detail panel's text and the
// progress control's text. Status 4 reads differently while the player is not installed.

// Whether a status is ever written to the catalogue (5, 8, 9 and 10 live only in memory).
bool IsPersistedStatus(std::int32_t status);

// The list item's status label. Status 4 depends on whether the player is installed; status 10
// leaves the label as it was and yields an empty text.
std::string StatusLabel(std::int32_t status, bool playerInstalled);

// The detail panel's text. `text` is the speed text for status 1 and the installing text for
// status 5; when it is empty those statuses use their plain texts.
std::string StatusDetailText(std::int32_t status, bool playerInstalled,
                             const std::string& text = {});

// The progress control's text; `value` fills the percent of statuses 1 and 2. Unknown states
// yield an empty text, which leaves the control's text as it was.
std::string StatusControlText(std::int32_t status, bool playerInstalled, int value);

// The icon file of a store game: the icons folder joined with the package name and the
// extension of the icon's address (from its last "." to its end; none without a ".").
std::string IconPathFor(const std::string& iconsDir, const std::string& packageName,
                        const std::string& imageUrl);

// The UI thread's live records by package name. Workers never see these; they get copies.
class AppItemMap {
 public:
  // An empty handle when the package has no record.
  std::shared_ptr<AppItemInfo> Find(const std::string& packageName) const;
  void Set(std::shared_ptr<AppItemInfo> record);
  void Erase(const std::string& packageName);
  std::size_t size() const {
    LUMO_CHECK_UI_THREAD();
    return records_.size();
  }
  const std::map<std::string, std::shared_ptr<AppItemInfo>>& records() const {
    LUMO_CHECK_UI_THREAD();
    return records_;
  }

 private:
  std::map<std::string, std::shared_ptr<AppItemInfo>> records_;
};

}  // namespace lumo
