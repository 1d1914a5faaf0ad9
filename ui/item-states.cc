// Keeping the games' states true to the player: what it really has installed, and why an
// install failed.

#include "app/log.h"
#include "catalogue/app-database-task-loop.h"
#include "platform/ui-loop.h"
#include "toolkit/controls.h"
#include "ui/item-lifecycle.h"

namespace lumo {

namespace {

constexpr char kGoneReason[] = "安装失败：模拟器中已没有这个游戏，请点击重试重新安装";

}  // namespace

void ItemLifecycle::OnPlayerPackages(std::unique_ptr<PlayerPackages> installed) {
  LUMO_CHECK_UI_THREAD();
  if (!installed) return;
  // Kept for the games the catalogue loads after the answer came.
  playerPackages_ = std::move(installed);
  for (const auto& [name, record] : AppItemMap::instance().records()) CheckAgainstPlayer(*record);
}

void ItemLifecycle::CheckAgainstPlayer(AppItemInfo& record) {
  if (!playerPackages_) return;
  // Only settled states are judged: a game on its way in or out is the task loop's.
  const std::string& name = record.packageName;
  bool has = playerPackages_->count(name) > 0;
  if (record.status == kStatusInstalled && !has) {
    Log::instance()->write("%s is recorded installed but the player does not have it.",
                           name.c_str());
    failureReasons_[name] = kGoneReason;
    record.status = kStatusInstallFailed;
  } else if (record.status == kStatusInstallFailed && has) {
    Log::instance()->write("%s is recorded failed but the player has it installed.", name.c_str());
    failureReasons_.erase(name);
    record.status = kStatusInstalled;
  } else {
    return;
  }
  PostUpdate(record);
  SetItemLabel(name, record.status);
  if (IsSelected(name)) UpdateDetail(record.status, {}, 0);
  ShowFailureReason(record);
}

void ItemLifecycle::ShowFailureReason(const AppItemInfo& record) {
  auto reason = failureReasons_.find(record.packageName);
  if (record.status != kStatusInstallFailed || reason == failureReasons_.end() ||
      !IsSelected(record.packageName))
    return;
  toolkit::SetText(GTK_WIDGET(detailSpeed_), reason->second);
}

}  // namespace lumo
