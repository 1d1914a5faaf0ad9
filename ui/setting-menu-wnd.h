#pragma once

#include <gtk/gtk.h>

#include "toolkit/skin-window.h"

namespace lumo {

// The drop-down menu under the settings button: settings, update check and about. It reaches
// the main window only through posted messages. It owns itself: it closes on any click or
// when it loses the focus, and deletes itself when its window is gone.
class SettingMenuWnd : public toolkit::SkinWindow {
 public:
  // Opens the menu with its top-left corner at the bottom-left corner of `anchor`.
  static SettingMenuWnd* OpenBelow(GtkWidget* anchor);

 protected:
  std::string GetWindowClassName() const override { return "SettingMenuWnd"; }
  std::string GetSkinFile() const override { return "SettingMenu.xml"; }
  void InitWindow() override { AttachShadow(); }
  void OnClick(const toolkit::Notification& n) override;
  void OnFocusOut() override;
  void OnFinalMessage() override { delete this; }

 private:
  bool closing_ = false;
};

}  // namespace lumo
