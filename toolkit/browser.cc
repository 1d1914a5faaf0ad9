#include "toolkit/browser.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <webkit2/webkit2.h>

#include "app/log.h"
#include "app/web-address.h"
#include "platform/desktop.h"
#include "platform/file-system.h"
#include "toolkit/browser-feed.h"
#include "toolkit/next-frame.h"
#include "toolkit/page-bridge/messages.h"

namespace lumo::toolkit {

namespace {

constexpr char kBrowserKey[] = "lumo-browser";
// window.external in the page's own world. Each call travels to Lumo's world as a short-lived
// element whose attributes hold it (DOM text is shared between worlds, script values are
// not); its event reaches Lumo's listener before dispatchEvent returns, so calls keep their
// order. A call's result tells the page whether it was taken: methods that take a text
// argument refuse anything else.
constexpr char kPageScript[] = R"JS(
(function () {
  function call(method, takesText, arg) {
    if (takesText && typeof arg !== 'string') return false;
    var note = document.createElement('lumo-call');
    note.setAttribute('method', method);
    if (takesText) note.setAttribute('argument', arg);
    note.hidden = true;
    (document.documentElement || document).appendChild(note);
    note.dispatchEvent(new Event('lumo-call', { bubbles: true }));
    note.remove();
    return true;
  }
  var external = {
    downloadClicked: function (arg) { return call('downloadClicked', true, arg); },
    onClickRetry: function () { return call('onClickRetry', false); },
    cloudClicked: function (arg) { return call('cloudClicked', true, arg); }
  };
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: true });
  } catch (e) {
    window.external = external;
  }
})();
)JS";

// Pages whose frames get window.external; the same for every browser of the program.
struct TrustedPages {
  std::vector<std::string> origins;
  std::string localPage;
  std::string bridgeFolder;
};

TrustedPages& Trusted() {
  static TrustedPages pages;
  return pages;
}

// A page's text argument is a JSON request or an address: nothing near this long.
constexpr std::size_t kMaxArgumentBytes = std::size_t{64} * 1024;

bool IsLoadable(const std::string& url) {
  // about:srcdoc is content the page wrote itself (a frame's error page among it).
  return IsWebAddress(url) || url == "about:blank" || url == "about:srcdoc" ||
         (!Trusted().localPage.empty() && url == Trusted().localPage);
}

std::string RequestUri(WebKitNavigationPolicyDecision* decision) {
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(decision);
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  return uri ? uri : "";
}

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, Browser*) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  std::string uri = RequestUri(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  // Links that want a window of their own go to the user's browser, never a popup in Lumo.
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    OpenInUsersBrowser(uri);
    return TRUE;
  }
  if (!IsLoadable(uri)) {
    Log::instance()->write("navigation to %.200s refused: not a web address.", uri.c_str());
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
}

// The dark background the view shows until a page paints, so loading never flashes white in
// the dark skins.
constexpr GdkRGBA kBackground{0.07, 0.078, 0.106, 1.0};
// The longest a view is drawn as its background only while its first page loads.
constexpr guint kFirstPageWaitMs = 3000;

// Before its first page has loaded, the view is drawn as its background: WebKit's own drawing
// waits up to half a second on the UI thread for a web process that is still starting, and
// the whole window would not answer meanwhile.
gboolean OnDrawBeforeFirstPage(GtkWidget* widget, cairo_t* cr, Browser* browser) {
  if (browser->firstPageLoaded()) return FALSE;
  gdk_cairo_set_source_rgba(cr, &kBackground);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget),
                  gtk_widget_get_allocated_height(widget));
  cairo_fill(cr);
  return TRUE;
}

// The page itself, not a frame inside it, starts loading an address.
void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, Browser* browser) {
  const char* uri = webkit_web_view_get_uri(view);
  if (event == WEBKIT_LOAD_FINISHED) browser->PageFinished(uri ? uri : "");
  if (event != WEBKIT_LOAD_STARTED && event != WEBKIT_LOAD_REDIRECTED) return;
  if (browser->eventHandler() && !browser->eventHandler()->BeforeNavigate(*browser, uri ? uri : ""))
    webkit_web_view_stop_loading(view);
}

// Pages may not open alert, confirm or prompt dialogs: a store page runs silently.
gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM || type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
    webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
  return TRUE;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                      Browser* browser) {
  // A navigation replaced by another one is not a failure of the page.
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(error, WEBKIT_POLICY_ERROR,
                      WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
    return FALSE;
  Log::instance()->write("page %s did not load: %s", uri ? uri : "", error->message);
  BrowserEventHandler* handler = browser->eventHandler();
  return handler && handler->NavigateError(*browser, uri ? uri : "", error->message);
}

void OnResourceFailed(WebKitWebResource* resource, GError* error, WebKitWebView* view) {
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return;
  Browser* browser = Browser::FromView(view);
  WebKitWebResource* main = webkit_web_view_get_main_resource(view);
  const char* uri = webkit_web_resource_get_uri(resource);
  // The page itself is the load-failed signal's; only the page can show its frames' failures.
  if (!uri || resource == main || !browser->eventHandler()) return;
  std::string page = browser->eventHandler()->FrameErrorPage(*browser, uri);
  if (page.empty()) return;
  // The page bridge puts it into the frames, in its own world, out of the page scripts' way.
  webkit_web_view_send_message_to_page(
      view, webkit_user_message_new(bridge::kFrameError, g_variant_new("(ss)", uri, page.c_str())),
      nullptr, nullptr, nullptr);
}

void OnResourceLoadStarted(WebKitWebView* view, WebKitWebResource* resource, WebKitURIRequest*,
                           gpointer) {
  g_signal_connect_object(resource, "failed", G_CALLBACK(OnResourceFailed), view,
                          G_CONNECT_DEFAULT);
}

// A frame that has the bridge called window.external. The frame's address is checked again:
// only the store's origins may call, and the local error page only to retry.
void ExternalCall(Browser* browser, const std::string& message) {
  if (!browser->eventHandler()) return;
  std::size_t first = message.find('\n');
  std::size_t second = first == std::string::npos ? first : message.find('\n', first + 1);
  if (second == std::string::npos || second + 1 >= message.size()) return;
  std::string frame = message.substr(0, first);
  std::string method = message.substr(first + 1, second - first - 1);
  bool trusted =
      Browser::IsStoreFrame(frame) || (frame == Trusted().localPage && method == "onClickRetry");
  if (!trusted || message.size() - second > kMaxArgumentBytes) {
    Log::instance()->write("page call %.40s from %.200s ignored.", method.c_str(), frame.c_str());
    return;
  }
  std::optional<std::string> argument;
  if (message[second + 1] == 's') argument = message.substr(second + 2);
  browser->eventHandler()->ExternalCall(*browser, method, argument);
}

// What the page bridge in the web process sends; a name it does not know is not handled.
gboolean OnBridgeMessage(WebKitWebView*, WebKitUserMessage* message, Browser* browser) {
  const char* name = webkit_user_message_get_name(message);
  GVariant* parameters = webkit_user_message_get_parameters(message);
  bool call = std::strcmp(name, bridge::kCall) == 0;
  if (!call && std::strcmp(name, bridge::kGames) != 0) return FALSE;
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING)) return TRUE;
  std::string text = g_variant_get_string(parameters, nullptr);
  if (call)
    ExternalCall(browser, text);
  else
    AskForGameStates(message, text);
  return TRUE;
}

// Gives each new web process the page bridge and the pages it may serve.
void OnInitializeWebExtensions(WebKitWebContext* context, gpointer) {
  const TrustedPages& trusted = Trusted();
  webkit_web_context_set_web_extensions_directory(context, trusted.bridgeFolder.c_str());
  GVariantBuilder origins;
  g_variant_builder_init(&origins, G_VARIANT_TYPE("as"));
  for (const std::string& origin : trusted.origins)
    g_variant_builder_add(&origins, "s", origin.c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(
      context, g_variant_new("(ass)", &origins, trusted.localPage.c_str()));
}

// Allow-list patterns of the store's frames. They match the host only, never the port: the
// port is checked again by the page bridge and on every call.
std::vector<std::string> StorePatterns() {
  std::vector<std::string> patterns;
  for (const std::string& origin : Trusted().origins) {
    std::size_t port = origin.find(':', origin.find("://") + 3);
    patterns.push_back(origin.substr(0, port) + "/*");
  }
  return patterns;
}

}  // namespace

void OpenInUsersBrowser(const std::string& url) {
  if (!IsWebAddress(url)) {
    Log::instance()->write("user's browser for %.200s refused: not a web address.", url.c_str());
    return;
  }
  std::string error;
  if (!platform::OpenWithDefaultProgram(url, &error))
    Log::instance()->write("user's browser for %s not opened: %s", url.c_str(), error.c_str());
}

Browser* Browser::FromView(WebKitWebView* view) {
  if (!view) return nullptr;
  auto* browser = static_cast<Browser*>(g_object_get_data(G_OBJECT(view), kBrowserKey));
  if (browser) return browser;
  browser = new Browser(view);
  g_object_set_data_full(G_OBJECT(view), kBrowserKey, browser,
                         [](gpointer p) { delete static_cast<Browser*>(p); });
  return browser;
}

Browser* Browser::CreateIn(GtkWidget* host, const Browser* related) {
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view",
                              related ? related->view() : nullptr, "vexpand", TRUE, nullptr));
  gtk_container_add(GTK_CONTAINER(host), view);
  gtk_widget_show(view);
  return FromView(WEBKIT_WEB_VIEW(view));
}

Browser::Browser(WebKitWebView* view) : view_(view) {
  webkit_web_view_set_background_color(view, &kBackground);
  g_signal_connect(view, "draw", G_CALLBACK(OnDrawBeforeFirstPage), this);
  // A page that never finishes loading is shown as far as it got.
  firstPageTimer_ = g_timeout_add(
      kFirstPageWaitMs,
      [](gpointer self) -> gboolean {
        auto* browser = static_cast<Browser*>(self);
        browser->firstPageTimer_ = 0;
        browser->ShowFirstPage();
        return G_SOURCE_REMOVE;
      },
      this);
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "resource-load-started", G_CALLBACK(OnResourceLoadStarted), nullptr);
  g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), nullptr);
  InstallExternalObject();
}

Browser::~Browser() {
  if (firstPageTimer_) g_source_remove(firstPageTimer_);
  g_signal_handlers_disconnect_by_data(view_, this);
}

// The blank page shows nothing the background does not, and work waiting for the first page
// would compete with the page that follows it. A local page also has the blank address.
void Browser::PageFinished(std::string_view url) {
  if (localPageAsked_ || (!url.empty() && url != "about:blank")) ShowFirstPage();
}

void Browser::ShowFirstPage() {
  if (firstPageLoaded_) return;
  firstPageLoaded_ = true;
  if (firstPageTimer_) g_source_remove(firstPageTimer_);
  firstPageTimer_ = 0;
  gtk_widget_queue_draw(GTK_WIDGET(view_));
  // The browser lives as long as its view, and the wait ends with the view.
  AfterNextFrame(GTK_WIDGET(view_), [this] {
    firstPageShown_ = true;
    for (auto& work : std::exchange(afterFirstPage_, {})) work();
  });
}

void Browser::AfterFirstPage(std::function<void()> work) {
  if (firstPageShown_)
    work();
  else
    afterFirstPage_.push_back(std::move(work));
}

void Browser::SetTrustedPages(std::vector<std::string> origins, std::string localPage,
                              std::string bridgeFolder) {
  std::string module = bridgeFolder + "/" + bridge::kModule;
  if (!platform::IsRegularFile(module))
    Log::instance()->write("page bridge %s missing: store pages cannot reach Lumo.",
                           module.c_str());
  Trusted() = TrustedPages{std::move(origins), std::move(localPage), std::move(bridgeFolder)};
  // Each new web process reads the pages as they are when it starts; one handler serves all.
  static bool connected = false;
  if (!std::exchange(connected, true))
    g_signal_connect(webkit_web_context_get_default(), "initialize-web-extensions",
                     G_CALLBACK(OnInitializeWebExtensions), nullptr);
}

bool Browser::IsStoreFrame(const std::string& url) {
  const auto& origins = Trusted().origins;
  return std::find(origins.begin(), origins.end(), WebOrigin(url)) != origins.end();
}

void Browser::InstallExternalObject() {
  g_signal_connect(view_, "user-message-received", G_CALLBACK(OnBridgeMessage), this);
  // The page script goes only into frames of the trusted pages; other frames have no
  // window.external. The page bridge gives the same frames Lumo's side of it.
  std::vector<std::string> patterns = StorePatterns();
  std::vector<const char*> allow;
  for (const std::string& pattern : patterns) allow.push_back(pattern.c_str());
  if (!Trusted().localPage.empty()) allow.push_back(Trusted().localPage.c_str());
  allow.push_back(nullptr);
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
  WebKitUserScript* page =
      webkit_user_script_new(kPageScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow.data(), nullptr);
  webkit_user_content_manager_add_script(manager, page);
  webkit_user_script_unref(page);
}

void Browser::SetEventHandler(std::unique_ptr<BrowserEventHandler> handler) {
  handler_ = std::move(handler);
}

void Browser::Navigate(const std::string& url) {
  if (url.empty()) return;
  // javascript: would run in the page shown now; file: and data: would read or fake local
  // content. Only web addresses, the blank page and the local error page load.
  if (!IsLoadable(url)) {
    Log::instance()->write("navigation to %.200s refused: not a web address.", url.c_str());
    return;
  }
  webkit_web_view_load_uri(view_, url.c_str());
}

void Browser::ShowLocalPage(const std::string& html) {
  localPageAsked_ = true;
  webkit_web_view_load_html(view_, html.c_str(), nullptr);
}

std::string Browser::url() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri ? uri : "";
}

}  // namespace lumo::toolkit
