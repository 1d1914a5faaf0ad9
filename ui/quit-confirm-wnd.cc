#include "ui/quit-confirm-wnd.h"

#include "app/front-end.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/window.h"
#include "toolkit/controls.h"

namespace lumo {

namespace {

constexpr char kUpdaterWindowTitle[] = "Lumo更新程序";
constexpr char kMinimiseAnswer[] = "最小化窗口，不退出程序";

}  // namespace

bool QuitConfirmWnd::Ask(toolkit::SkinWindow* owner, bool trayShown) {
  QuitConfirmWnd dialog;
  dialog.trayShown_ = trayShown;
  toolkit::WindowStyle style;
  style.resizable = false;
  style.dialog = true;
  style.showInTaskbar = false;
  if (!dialog.Create(owner, "QuitConfirmWnd", style, 100, 200)) return false;
  dialog.CenterWindow();
  dialog.ShowModal();
  return dialog.cancelled_ == 0;
}

void QuitConfirmWnd::Abandon() {
  if (SkinWindow* open = FindByClass("QuitConfirmWnd")) open->Close(0);
}

void QuitConfirmWnd::InitWindow() {
  optionExit_ = FindOption("option_exit");
  optionHide_ = FindOption("option_hide");
  if (!trayShown_ && optionHide_) toolkit::SetText(GTK_WIDGET(optionHide_), kMinimiseAnswer);
  toolkit::SetChecked(Settings::instance().minOnClose != 0 ? optionHide_ : optionExit_, true, true);
  AttachShadow();
}

void QuitConfirmWnd::OnClick(const toolkit::Notification& n) {
  if (n.sender == "btn_ok") {
    Answer();
    cancelled_ = 0;
    Close(0);
  } else if (n.sender == "btn_cancel" || n.sender == "btn_close") {
    cancelled_ = 1;
    Close(1);
  }
}

void QuitConfirmWnd::Answer() {
  Settings& settings = Settings::instance();
  settings.minOnClose = optionHide_ && toolkit::IsChecked(optionHide_) ? 1 : 0;
  // A clear check box leaves an earlier "remember" as it was.
  GtkToggleButton* remember = FindCheckBox("checkbox_remember");
  if (remember && toolkit::IsChecked(remember)) settings.quitRemember = 1;
  settings.Save();
  Log::instance()->write("close answered: %s%s.", settings.minOnClose ? "hide" : "quit",
                         settings.quitRemember ? ", remembered" : "");
}

CloseAction DecideClose(toolkit::SkinWindow* mainWindow, bool forceQuit, bool trayShown,
                        const std::function<void()>& bringToFront) {
  if (forceQuit) return CloseAction::kQuit;
  if (Settings::instance().quitRemember == 0) {
    bringToFront();
    // A forced quit may arrive while the question is open; it abandons the question.
    if (!QuitConfirmWnd::Ask(mainWindow, trayShown) || !mainWindow->window())
      return CloseAction::kStay;
  }
  return Settings::instance().minOnClose == 0 ? CloseAction::kQuit : CloseAction::kHide;
}

void NotifyUpdaterOfQuit() {
  if (platform::PostToTopLevelWindow(kMainWindowClass, kUpdaterWindowTitle, MSG_QUIT_NOW, 0, 0))
    Log::instance()->write("updater told that Lumo quits.");
}

}  // namespace lumo
