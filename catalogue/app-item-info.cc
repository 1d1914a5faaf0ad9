#include "catalogue/app-item-info.h"

#include "app/paths.h"

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

std::string StatusLabel(std::int32_t status, bool playerInstalled) {
  switch (status) {
    case kStatusQueued:
      return "准备下载";
    case kStatusDownloading:
      return "正在下载...";
    case kStatusPaused:
      return "暂停下载";
    case kStatusDownloadFailed:
      return "下载失败！";
    case kStatusWaitingInstall:
      return playerInstalled ? "等待安装" : "模拟器安装中";
    case kStatusInstalling:
      return "正在安装...";
    case kStatusInstalled:
      return "开始游戏吧";
    case kStatusInstallFailed:
      return "安装失败";
    case kStatusQueuedForDelete:
      return "等待删除";
    case kStatusDeleting:
      return "正在删除...";
    default:
      return {};
  }
}

std::string StatusDetailText(std::int32_t status, bool playerInstalled, const std::string& text) {
  switch (status) {
    case kStatusQueued:
      return "正在排队哦，请耐心等待";
    case kStatusDownloading:
      return text.empty() ? "正在下载..." : "正在下载：" + text;
    case kStatusPaused:
      return "点击继续下载";
    case kStatusDownloadFailed:
      return "下载失败，请重新尝试或重启程序";
    case kStatusWaitingInstall:
      return playerInstalled ? "正在排队哦，请耐心等待" : "马上完成，请耐心等待";
    case kStatusInstalling:
      return text.empty() ? "正在安装中..." : text;
    case kStatusInstalled:
      return "安装成功，点击体验游戏";
    case kStatusInstallFailed:
      return "安装失败，请重新尝试或重启程序";
    case kStatusQueuedForDelete:
      return "正在排队哦，请耐心等待";
    case kStatusDeleting:
      return "正在删除...";
    case kStatusDeleteFailed:
      return "删除失败，请重新尝试或重启程序";
    default:
      return {};
  }
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

AppItemMap& AppItemMap::instance() {
  static AppItemMap map;
  return map;
}

std::shared_ptr<AppItemInfo> AppItemMap::Find(const std::string& packageName) const {
  auto it = records_.find(packageName);
  return it == records_.end() ? nullptr : it->second;
}

void AppItemMap::Set(std::shared_ptr<AppItemInfo> record) {
  std::string key = record->packageName;
  records_[key] = std::move(record);
}

void AppItemMap::Erase(const std::string& packageName) {
  records_.erase(packageName);
}

}  // namespace lumo
