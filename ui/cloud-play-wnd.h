#pragma once

#include <string>

#include "toolkit/skin-window.h"

namespace lumo {

namespace toolkit {
class Browser;
}

// The window that shows a cloud-play page. The main window keeps the one instance and
// reuses it; when it is closed it tells its owner (MSG_CLOUDPLAY_CLOSED) and deletes itself.
class CloudPlayWnd : public toolkit::SkinWindow {
 public:
  static CloudPlayWnd* Create(platform::WindowHandle ownerWindow);
  void NavigateTo(const std::string& url);

 protected:
  std::string GetWindowClassName() const override { return "CloudPlayWnd"; }
  std::string GetSkinFile() const override { return "CloudPlayWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;
  void OnDestroy() override;
  void OnFinalMessage() override { delete this; }

 private:
  toolkit::Browser* browser_ = nullptr;
  platform::WindowHandle ownerWindow_ = 0;
};

}  // namespace lumo
