#include "ui/cloud-play-wnd.h"

#include "app/dispatcher.h"
#include "app/front-end.h"
#include "app/messages.h"
#include "toolkit/browser.h"
#include "ui/web-event-handler.h"

namespace lumo {

std::unique_ptr<CloudPlayWnd> CloudPlayWnd::Create(platform::WindowHandle ownerWindow) {
  std::unique_ptr<CloudPlayWnd> window(new CloudPlayWnd());
  window->ownerWindow_ = ownerWindow;
  toolkit::WindowStyle style;
  if (!window->SkinWindow::Create(nullptr, "CloudPlay", style, 1220, 720)) return nullptr;
  return window;
}

void CloudPlayWnd::InitWindow() {
  browser_ = FindBrowser("cloudplay");
  if (browser_) browser_->SetEventHandler(std::make_unique<WebEventHandler>("Cloud", handle()));
  // The error page's retry reloads the address that failed in this window.
  Dispatcher::instance()->Register(MSG_CLOUD_NAVIGATE, handle(),
                                   [this](const std::string& url) { NavigateTo(url); });
  SetTitle(kMainWindowTitle);
  SetIcon("img/logo.svg");
  AttachShadow();
}

void CloudPlayWnd::NavigateTo(const std::string& url) {
  if (browser_) browser_->Navigate(url);
}

void CloudPlayWnd::OnClick(const toolkit::Notification& n) {
  if (n.sender == "btnClose") Close(0);
}

void CloudPlayWnd::OnDestroy() {
  Dispatcher::instance()->Unregister(MSG_CLOUD_NAVIGATE, handle());
  // Posted: the owner deletes this object, which the toolkit still uses until the destroy
  // handling has returned.
  platform::PostWindowMessage(ownerWindow_, MSG_CLOUDPLAY_CLOSED, 0, 0);
}

}  // namespace lumo
