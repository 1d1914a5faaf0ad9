#pragma once

#include "toolkit/skin-window.h"

namespace lumo {

// The context menu of a game in the list: launch and uninstall. It owns itself: it closes on
// any click or when it loses the focus, and deletes itself when its window is gone.
class AppListMenuWnd : public toolkit::SkinWindow {
 public:
  // Opens the menu with its top-left corner at the screen point, enabling launch only for
  // status 6 and uninstall only for 3, 6 and 7.
  static AppListMenuWnd* Open(int screenX, int screenY, int status);

 protected:
  std::string GetWindowClassName() const override { return "AppListMenuWnd"; }
  std::string GetSkinFile() const override { return "AppListMenu.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;
  void OnFocusOut() override;
  void OnFinalMessage() override { delete this; }

 private:
  GtkButton* btnLaunch_ = nullptr;
  GtkButton* btnUninstall_ = nullptr;
  bool closing_ = false;
};

}  // namespace lumo
