#pragma once

#include <string>

#include "toolkit/skin-window.h"

namespace lumo {

// The about box: the version from config.ini and the store's agreement and edition pages,
// which open in the user's browser. Modal, UI thread only.
class AboutWnd : public toolkit::SkinWindow {
 public:
  // Shows the box over `owner` until it closes.
  static void Run(toolkit::SkinWindow* owner);

 protected:
  std::string GetWindowClassName() const override { return "AboutWnd"; }
  std::string GetSkinFile() const override { return "AboutWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;
};

}  // namespace lumo
