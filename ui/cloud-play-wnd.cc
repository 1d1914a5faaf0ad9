#include "ui/cloud-play-wnd.h"

#include <algorithm>

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
  SetIcon("img/logo.png");
  AttachShadow();
}

void CloudPlayWnd::NavigateTo(const std::string& url) {
  if (browser_) browser_->Navigate(url);
}

// Centred on the screen, the window is narrower than the main window at its default size and
// left strips of it showing at both sides.
void CloudPlayWnd::CenterOver(GtkWindow* main) {
  GdkWindow* shown = main ? gtk_widget_get_window(GTK_WIDGET(main)) : nullptr;
  if (!window() || !shown || !gtk_widget_get_visible(GTK_WIDGET(main)) ||
      (gdk_window_get_state(shown) & GDK_WINDOW_STATE_ICONIFIED))
    return;
  int x = 0, y = 0, width = 0, height = 0, ownWidth = 0, ownHeight = 0;
  gtk_window_get_position(main, &x, &y);
  gtk_window_get_size(main, &width, &height);
  gtk_window_get_size(window(), &ownWidth, &ownHeight);
  ownWidth = std::max(ownWidth, width);
  ownHeight = std::max(ownHeight, height);
  gtk_window_resize(window(), ownWidth, ownHeight);
  gtk_window_move(window(), std::max(0, x + (width - ownWidth) / 2),
                  std::max(0, y + (height - ownHeight) / 2));
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
