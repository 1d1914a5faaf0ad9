#include "ui/app-list-menu-wnd.h"

#include "app/dispatcher.h"
#include "app/messages.h"
#include "game/game-lifecycle.h"
#include "toolkit/controls.h"

namespace lumo {

AppListMenuWnd* AppListMenuWnd::Open(int screenX, int screenY, int status) {
  auto* menu = new AppListMenuWnd();
  if (!menu->CreatePopup("SettingMenu", screenX, screenY)) {
    delete menu;
    return nullptr;
  }
  toolkit::SetEnabled(GTK_WIDGET(menu->btnLaunch_), GameLifecycle::Launchable(status));
  toolkit::SetEnabled(GTK_WIDGET(menu->btnUninstall_), GameLifecycle::Deletable(status));
  menu->ShowWindow(true);
  return menu;
}

void AppListMenuWnd::InitWindow() {
  btnLaunch_ = FindButton("btn_launch");
  btnUninstall_ = FindButton("btn_uninstall");
  AttachShadow();
}

void AppListMenuWnd::OnClick(const toolkit::Notification& n) {
  // The menu goes first; the main window acts on the posted message afterwards.
  std::string sender = n.sender;
  closing_ = true;
  Close(0);
  if (sender == "btn_launch")
    Dispatcher::instance()->Post(MSG_LAUNCH_SELECTED);
  else if (sender == "btn_uninstall")
    Dispatcher::instance()->Post(MSG_UNINSTALL_SELECTED);
}

void AppListMenuWnd::OnFocusOut() {
  // A click closes the menu itself; closing from inside the focus handler would destroy the
  // window under GTK's feet.
  if (!closing_) CloseSoon();
}

}  // namespace lumo
