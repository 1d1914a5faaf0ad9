#include "catalogue/app-item-info.h"

#include <iterator>

#include "app/paths.h"
#include "platform/ui-loop.h"

namespace lumo {

bool IsPersistedStatus(std::int32_t status) {
  switch (status) {
    case kStatusQueued:
    case kStatusDownloading:
    case kStatusPaused:
    case kStatusDownloadFailed:
    case kStatusWaitingInstall:
    case kStatusInstalled:
    case kStatusInstallFailed:
      return true;
    default:
      return false;
  }
}

namespace {

// Every text a status shows: the list label, the detail panel and the progress control. Where
// two are given, the second is shown while the player is not installed yet.
struct StatusTexts {
  const char* label;
  const char* labelNoPlayer;
  const char* detail;
  const char* detailNoPlayer;
  const char* control;
  const char* controlNoPlayer;
};

constexpr StatusTexts kStatusTexts[] = {
    {"准备下载", nullptr, "正在排队哦，请耐心等待", nullptr, "等待下载中", nullptr},
    {"正在下载...", nullptr, "正在下载...", nullptr, "%d%%", nullptr},
    {"暂停下载", nullptr, "点击继续下载", nullptr, "%d%%", nullptr},
    {"下载失败！", nullptr, "下载失败，请重新尝试或重启程序", nullptr, "重试", nullptr},
    {"等待安装", "模拟器安装中", "正在排队哦，请耐心等待", "马上完成，请耐心等待", "等待安装中",
     "模拟器安装中"},
    {"正在安装...", nullptr, "正在安装中...", nullptr, "正在安装...", nullptr},
    {"开始游戏吧", nullptr, "安装成功，点击体验游戏", nullptr, "启动", nullptr},
    {"安装失败", nullptr, "安装失败，请重新尝试或重启程序", nullptr, "重试", nullptr},
    {"等待删除", nullptr, "正在排队哦，请耐心等待", nullptr, "等待删除中", nullptr},
    {"正在删除...", nullptr, "正在删除...", nullptr, "正在删除...", nullptr},
    {nullptr, nullptr, "删除失败，请重新尝试或重启程序", nullptr, "重试", nullptr},
};

const StatusTexts* TextsOf(std::int32_t status) {
  if (status < 0 || status >= static_cast<std::int32_t>(std::size(kStatusTexts))) return nullptr;
  return &kStatusTexts[status];
}

std::string Pick(const char* text, const char* noPlayer, bool playerInstalled) {
  const char* chosen = !playerInstalled && noPlayer ? noPlayer : text;
  return chosen ? chosen : "";
}

}  // namespace

std::string StatusLabel(std::int32_t status, bool playerInstalled) {
  const StatusTexts* texts = TextsOf(status);
  return texts ? Pick(texts->label, texts->labelNoPlayer, playerInstalled) : "";
}

std::string StatusDetailText(std::int32_t status, bool playerInstalled, const std::string& text) {
  const StatusTexts* texts = TextsOf(status);
  if (!texts) return {};
  // Downloading and installing carry a text of their own when the caller has one.
  if (status == kStatusDownloading && !text.empty()) return "正在下载：" + text;
  if (status == kStatusInstalling && !text.empty()) return text;
  return Pick(texts->detail, texts->detailNoPlayer, playerInstalled);
}

std::string StatusControlText(std::int32_t status, bool playerInstalled, int value) {
  const StatusTexts* texts = TextsOf(status);
  if (!texts) return {};
  std::string format = Pick(texts->control, texts->controlNoPlayer, playerInstalled);
  if (format != "%d%%") return format;
  return std::to_string(value) + "%";
}

std::string IconPathFor(const std::string& iconsDir, const std::string& packageName,
                        const std::string& imageUrl) {
  auto dot = imageUrl.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : imageUrl.substr(dot);
  // An address whose last "." lies before a path separator or a query ("http://cdn.host/icon",
  // "x.png?v=2") has no file extension to borrow; never let it add folders to the path.
  if (extension.find_first_of("/\\?#") != std::string::npos) extension.clear();
  return PathJoin(iconsDir, packageName + extension);
}

std::shared_ptr<AppItemInfo> AppItemMap::Find(const std::string& packageName) const {
  LUMO_CHECK_UI_THREAD();
  auto it = records_.find(packageName);
  return it == records_.end() ? nullptr : it->second;
}

void AppItemMap::Set(std::shared_ptr<AppItemInfo> record) {
  LUMO_CHECK_UI_THREAD();
  std::string key = record->packageName;
  records_[key] = std::move(record);
}

void AppItemMap::Erase(const std::string& packageName) {
  LUMO_CHECK_UI_THREAD();
  records_.erase(packageName);
}

}  // namespace lumo
