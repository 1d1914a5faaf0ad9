#include "ui/setting-menu-wnd.h"

#include "app/dispatcher.h"
#include "app/messages.h"
#include "stat/data-stat.h"

namespace lumo {

namespace {

// Usage events of the menu's entries.
enum : int {
  kEventSettingsEntry = 303,
  kEventUpdateEntry = 304,
  kEventAboutEntry = 305,
};

}  // namespace

SettingMenuWnd* SettingMenuWnd::OpenBelow(GtkWidget* anchor) {
  GtkWidget* top = anchor ? gtk_widget_get_toplevel(anchor) : nullptr;
  GdkWindow* topWindow = top ? gtk_widget_get_window(top) : nullptr;
  if (!topWindow) return nullptr;
  int x = 0, y = 0, originX = 0, originY = 0;
  gtk_widget_translate_coordinates(anchor, top, 0, gtk_widget_get_allocated_height(anchor), &x, &y);
  gdk_window_get_origin(topWindow, &originX, &originY);
  auto* menu = new SettingMenuWnd();
  if (!menu->CreatePopup("SettingMenu", originX + x, originY + y)) {
    delete menu;
    return nullptr;
  }
  menu->ShowWindow(true);
  return menu;
}

void SettingMenuWnd::OnClick(const toolkit::Notification& n) {
  // The menu goes first; the main window opens what was chosen from the posted message.
  std::string sender = n.sender;
  closing_ = true;
  Close(0);
  if (sender == "btn_setting") {
    ReportEvent(kEventSettingsEntry);
    Dispatcher::instance()->Post(MSG_SHOW_SETTINGS);
  } else if (sender == "btn_upgrade") {
    ReportEvent(kEventUpdateEntry);
    Dispatcher::instance()->Post(MSG_CHECK_UPDATE);
  } else if (sender == "btn_about") {
    ReportEvent(kEventAboutEntry);
    Dispatcher::instance()->Post(MSG_SHOW_ABOUT);
  }
}

void SettingMenuWnd::OnFocusOut() {
  // A click closes the menu itself; closing from inside the focus handler would destroy the
  // window under GTK's feet.
  if (!closing_) CloseSoon();
}

}  // namespace lumo
