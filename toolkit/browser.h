#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GtkWidget GtkWidget;

namespace lumo::toolkit {

class Browser;

// Opens a web address in the user's default browser; anything else is refused with a log line.
void OpenInUsersBrowser(const std::string& url);

// What a window wants to know of its browser's events. One handler object per browser; the
// browser owns it. Every call runs on the UI thread, while the page waits.
class BrowserEventHandler {
 public:
  virtual ~BrowserEventHandler() = default;
  // The page itself (not a frame in it) starts loading an address; false stops the load.
  virtual bool BeforeNavigate(Browser&, const std::string& /*url*/) { return true; }
  // A load failed; true when the handler showed something of its own instead.
  virtual bool NavigateError(Browser&, const std::string& /*url*/, const std::string& /*error*/) {
    return false;
  }
  // A frame inside the page could not load `url`. A non-empty text is a page shown in that
  // frame instead; it is the page's own content, so its script may reload the frame.
  virtual std::string FrameErrorPage(Browser&, const std::string& /*url*/) { return {}; }
  // A page called window.external.<method>(argument): downloadClicked, onClickRetry or
  // cloudClicked. `argument` is empty when the call had no argument or one that is not text.
  virtual void ExternalCall(Browser&, const std::string& /*method*/,
                            const std::optional<std::string>& /*argument*/) {}
};

// The host of one embedded web view: navigation, home page, and the event handler with the
// page's window.external object. Made on first lookup of a skin's browser control and owned
// by the view.
class Browser {
 public:
  static Browser* FromView(WebKitWebView* view);
  // A new browser filling `host`, a box. A browser made `related` to another shares that one's
  // web process, and starts it at once if it is not running yet.
  static Browser* CreateIn(GtkWidget* host, const Browser* related);
  // The origins whose frames get window.external ("http://127.0.0.1:18080"), the local page
  // that may only ask for a retry, and the folder of the page bridge that WebKit loads into
  // its web processes. Set before the first page loads; every address other than a web
  // address, "about:blank" and that page is refused in every browser.
  static void SetTrustedPages(std::vector<std::string> origins, std::string localPage,
                              std::string bridgeFolder);
  // Whether a frame at `url` is one of the store's, by its origin; the local page is not.
  static bool IsStoreFrame(const std::string& url);
  ~Browser();

  void SetEventHandler(std::unique_ptr<BrowserEventHandler> handler);
  BrowserEventHandler* eventHandler() const { return handler_.get(); }
  void Navigate(const std::string& url);
  void SetHomePage(const std::string& url) { homePage_ = url; }
  const std::string& homePage() const { return homePage_; }
  void NavigateHomePage() { Navigate(homePage_); }
  // Shows a page that Lumo made. It loads as "about:blank", which no bridge script matches and
  // no page call is taken from: the page has no window.external and hears no game states.
  void ShowLocalPage(const std::string& html);
  // The address shown now; empty before the first navigation.
  std::string url() const;
  WebKitWebView* view() const { return view_; }
  // Whether WebKit draws the view: from the end of its first load of a page that is not the
  // blank one, or a while after it was made; before that it shows its background.
  bool firstPageLoaded() const { return firstPageLoaded_; }
  // The view finished loading `url`: the first page other than the blank one shows.
  void PageFinished(std::string_view url);
  // Runs `work` once on the UI thread after the frame that first shows the view's page (at once
  // when that has been), so that the work does not compete with that paint.
  void AfterFirstPage(std::function<void()> work);

 private:
  explicit Browser(WebKitWebView* view);
  void ShowFirstPage();
  void InstallExternalObject();

  WebKitWebView* view_;
  std::unique_ptr<BrowserEventHandler> handler_;
  std::string homePage_;
  bool firstPageLoaded_ = false;
  bool firstPageShown_ = false;  // the frame after the first page has been painted
  bool localPageAsked_ = false;
  unsigned firstPageTimer_ = 0;
  std::vector<std::function<void()>> afterFirstPage_;
};

}  // namespace lumo::toolkit
