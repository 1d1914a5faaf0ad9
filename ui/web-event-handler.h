#pragma once

#include <functional>
#include <string>

#include "platform/window.h"
#include "toolkit/browser.h"

namespace lumo {

// The event handler of one store browser: remembers the last web address, shows the local
// error page when a page fails to load, and passes window.external calls to the window that
// owns the work. "Main" and "Detail" are the main window's browsers; any other name is a
// cloud-play browser whose retries go to `ownerWindow`.
class WebEventHandler : public toolkit::BrowserEventHandler {
 public:
  // `onWebPage` runs on the UI thread before each web page the browser loads.
  explicit WebEventHandler(std::string browserName, platform::WindowHandle ownerWindow = 0,
                           std::function<void()> onWebPage = {});

  bool BeforeNavigate(toolkit::Browser& browser, const std::string& url) override;
  bool NavigateError(toolkit::Browser& browser, const std::string& url,
                     const std::string& error) override;
  std::string FrameErrorPage(toolkit::Browser& browser, const std::string& url) override;
  void ExternalCall(toolkit::Browser& browser, const std::string& method,
                    const std::optional<std::string>& argument) override;

  const std::string& lastWebUrl() const { return lastWebUrl_; }

 private:
  std::string browserName_;
  std::string lastWebUrl_;
  platform::WindowHandle ownerWindow_;
  std::function<void()> onWebPage_;
};

// "file://" and the program folder's "page/page.html".
std::string ErrorPageUrl();

}  // namespace lumo
