#pragma once

#include <functional>
#include <string>

#include "toolkit/skin-window.h"

namespace lumo {

// The question asked when the main window is closed: quit, or hide to the notification area,
// and whether to remember the answer. Modal; `cancelled` stays 1 unless "btn_ok" ends it, so
// Escape and the window's own close abandon the close and write nothing.
class QuitConfirmWnd : public toolkit::SkinWindow {
 public:
  // Asks over `owner`; false when the question was abandoned. An answer is saved to
  // setting.ini before this returns. Without `trayShown` the hide answer says what a hide
  // then does: minimise the window.
  static bool Ask(toolkit::SkinWindow* owner, bool trayShown);
  // Abandons an open question, as its close button does.
  static void Abandon();
  int cancelled() const { return cancelled_; }

 protected:
  std::string GetWindowClassName() const override { return "QuitConfirmWnd"; }
  std::string GetSkinFile() const override { return "QuitConfirmWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;

 private:
  void Answer();

  GtkToggleButton* optionExit_ = nullptr;
  GtkToggleButton* optionHide_ = nullptr;
  int cancelled_ = 1;
  bool trayShown_ = true;
};

enum class CloseAction { kQuit, kHide, kStay };

// The main window's close rules: a forced quit asks nothing; otherwise the question is asked
// (after `bringToFront`, so a hidden window comes back first) unless its answer is
// remembered, and `minOnClose` then chooses between hiding and quitting. `trayShown`: whether
// a tray host shows the icon, so that a hidden window can be found again.
CloseAction DecideClose(toolkit::SkinWindow* mainWindow, bool forceQuit, bool trayShown,
                        const std::function<void()>& bringToFront);

// Tells a running updater that Lumo has quit (MSG_QUIT_NOW to its window), so that it ends too.
void NotifyUpdaterOfQuit();

}  // namespace lumo
