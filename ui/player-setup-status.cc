#include "ui/player-setup-status.h"

#include <string>

#include "toolkit/controls.h"

namespace lumo {

PlayerSetupStatus::PlayerSetupStatus(GtkWidget* box, GtkLabel* label, GtkWidget* retry,
                                     PlayerSetup& setup)
    : box_(box), label_(label), retry_(retry), setup_(setup) {
  setup_.Watch([this](const PlayerSetupState& state) { Show(state); });
}

PlayerSetupStatus::~PlayerSetupStatus() {
  setup_.Watch(nullptr);
}

void PlayerSetupStatus::Show(const PlayerSetupState& state) {
  using Phase = PlayerSetupState::Phase;
  if (!box_ || !label_) return;
  std::string text, tip;
  switch (state.phase) {
    case Phase::kReady:
      break;
    case Phase::kDownloading:
      text = "模拟器下载中 " + std::to_string(state.percent) + "%";
      break;
    case Phase::kInstalling:
      text = "模拟器安装中";
      break;
    case Phase::kFailed:
      text = state.reason;
      tip = state.reason + "，" + std::to_string(state.retryInSeconds) +
            " 秒后自动重试，也可以点击重试";
      break;
  }
  toolkit::SetText(GTK_WIDGET(label_), text);
  gtk_widget_set_tooltip_text(GTK_WIDGET(label_), tip.empty() ? nullptr : tip.c_str());
  if (retry_) toolkit::SetVisible(retry_, state.phase == Phase::kFailed);
  toolkit::SetVisible(box_, state.phase != Phase::kReady);
}

}  // namespace lumo
