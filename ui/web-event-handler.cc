#include "ui/web-event-handler.h"

#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "platform/file-system.h"

namespace lumo {

WebEventHandler::WebEventHandler(std::string browserName, platform::WindowHandle ownerWindow,
                                 std::function<void()> onWebPage)
    : browserName_(std::move(browserName)),
      ownerWindow_(ownerWindow),
      onWebPage_(std::move(onWebPage)) {}

std::string ErrorPageUrl() {
  return "file://" + PathJoin(ExeDir(), "page/page.html");
}

bool WebEventHandler::BeforeNavigate(toolkit::Browser&, const std::string& url) {
  if (url.compare(0, 4, "http") != 0) return true;
  lastWebUrl_ = url;
  if (onWebPage_) onWebPage_();
  return true;
}

bool WebEventHandler::NavigateError(toolkit::Browser& browser, const std::string& url,
                                    const std::string&) {
  // The error page itself failing must not send the browser round in circles.
  if (url == ErrorPageUrl()) return false;
  browser.Navigate(ErrorPageUrl());
  return true;
}

// The error page, with a retry that loads the frame's own address again: inside a page's frame
// there is no window.external, and the frame's address is the one that failed.
std::string WebEventHandler::FrameErrorPage(toolkit::Browser&, const std::string&) {
  std::string page;
  if (!platform::ReadWholeFile(PathJoin(ExeDir(), "page/page.html"), &page)) return {};
  const std::string retry = "window.external.onClickRetry()";
  std::size_t at = page.find(retry);
  if (at != std::string::npos)
    page.replace(at, retry.size(), "frameElement.removeAttribute('srcdoc')");
  return page;
}

// Called on the UI thread while the page's script waits: every message is handled before
// the call returns.
void WebEventHandler::ExternalCall(toolkit::Browser& browser, const std::string& method,
                                   const std::optional<std::string>& argument) {
  if (method == "downloadClicked") {
    if (argument) Dispatcher::instance()->Send(MSG_DOWNLOAD_CLICKED, *argument);
  } else if (method == "onClickRetry" && browserName_ == "Main") {
    // The store's home page, whatever this browser loaded before: at a first start with the
    // store down it has loaded nothing else.
    Log::instance()->write("Main: retry loads the store home page.");
    browser.NavigateHomePage();
  } else if (method == "onClickRetry") {
    Log::instance()->write("%s: retry loads %s.", browserName_.c_str(),
                           lastWebUrl_.empty() ? "nothing, no page failed" : lastWebUrl_.c_str());
    if (browserName_ == "Detail")
      Dispatcher::instance()->Send(MSG_NAVIGATE, {.browserName = browserName_, .url = lastWebUrl_});
    else
      Dispatcher::instance()->SendTo(MSG_CLOUD_NAVIGATE, ownerWindow_, lastWebUrl_);
  } else if (method == "cloudClicked") {
    if (argument) Dispatcher::instance()->Send(MSG_CLOUD_PLAY, *argument);
  }
}

}  // namespace lumo
