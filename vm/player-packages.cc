#include "vm/player-packages.h"

#include <sstream>

#include "apk/apk-badging.h"

namespace lumo {

std::unique_ptr<PlayerPackages> PlayerPackageCollector::Add(const std::string& text) {
  std::istringstream lines(text);
  std::string marker;
  std::getline(lines, marker);
  if (marker != "+" && marker != ".") {
    collected_.reset();  // not an answer: whatever was collected cannot be trusted
    return nullptr;
  }
  if (!collected_) collected_ = std::make_unique<PlayerPackages>();
  for (std::string name; std::getline(lines, name) && collected_->size() < kMaxPackages;)
    if (IsValidPackageName(name)) collected_->insert(name);
  if (marker == "+") return nullptr;
  return std::move(collected_);
}

std::string InstallFailureReason(int code) {
  // The player's result codes; 1 is Lumo's own for a player that went away mid-install.
  switch (code) {
    case 1:
      return "模拟器已关闭，安装中断";
    case 2:
      return "找不到安装包文件";
    case 3:
      return "不是有效的安装包";
    case 4:
      return "游戏没有适合此模拟器处理器的原生代码";
    case 8:
      return "模拟器缺少读取安装包的工具";
    case 9:
      return "模拟器存储空间不足或无法写入";
    case 10:
      return "设备拒绝安装";
    case 11:
      return "模拟器尚未启动";
    case 12:
      return "设备磁盘空间不足";
    case 13:
      return "游戏不支持此设备的 Android 版本或功能";
    case 14:
      return "设备上已有签名不同或版本更新的同名游戏";
    default:
      return "错误码 " + std::to_string(code);
  }
}

std::string LaunchFailureReason(int code) {
  switch (code) {
    case 5:
      return "游戏不在设备上，请重新安装";
    case 7:
      return "找不到游戏的启动界面";
    case 10:
      return "设备没有启动游戏";
    case 11:
      return "模拟器尚未启动";
    default:
      return "错误码 " + std::to_string(code);
  }
}

}  // namespace lumo
