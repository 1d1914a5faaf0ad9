#pragma once

#include <memory>
#include <string>

#include "toolkit/skin-window.h"

namespace lumo {

namespace toolkit {
class Browser;
}

// The window that shows a cloud-play page. The main window owns the one instance and reuses
// it; when it is closed it posts MSG_CLOUDPLAY_CLOSED to its owner, which then deletes it.
class CloudPlayWnd : public toolkit::SkinWindow {
 public:
  static std::unique_ptr<CloudPlayWnd> Create(platform::WindowHandle ownerWindow);
  void NavigateTo(const std::string& url);
  // Centres the window on `main` when that is shown, grown to cover it where it is larger.
  void CenterOver(GtkWindow* main);

 protected:
  std::string GetWindowClassName() const override { return "CloudPlayWnd"; }
  std::string GetSkinFile() const override { return "CloudPlayWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;
  void OnDestroy() override;

 private:
  toolkit::Browser* browser_ = nullptr;
  platform::WindowHandle ownerWindow_ = 0;
};

}  // namespace lumo
