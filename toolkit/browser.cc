#include "toolkit/browser.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <webkit2/webkit2.h>

#include "app/log.h"
#include "app/web-address.h"
#include "platform/desktop.h"
#include "toolkit/browser-feed.h"

namespace lumo::toolkit {

namespace {

constexpr char kBrowserKey[] = "lumo-browser";
constexpr char kChannel[] = "lumoExternal";
// The world of Lumo's own script: page scripts cannot reach its objects or its message
// channel, so only frames that received the bridge script can talk to the host.
constexpr char kWorld[] = "lumo";

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

// Lumo's side, in its own world: passes each call on with the address of the frame it came
// from, which the host checks again.
constexpr char kBridgeScript[] = R"JS(
(function () {
  var channel = window.webkit.messageHandlers.lumoExternal;
  document.addEventListener('lumo-call', function (event) {
    var note = event.target;
    if (!note || note.localName !== 'lumo-call') return;
    var argument = note.getAttribute('argument');
    channel.postMessage(String(location.href) + '\n' + (note.getAttribute('method') || '') +
                        '\n' + (argument === null ? 'x' : 's' + argument));
  }, true);
})();
)JS";

// Pages whose frames get window.external; the same for every browser of the program.
struct TrustedPages {
  std::vector<std::string> origins;
  std::string localPage;
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

// Puts the error page into the page's frames that show `url`; runs in Lumo's world, so the
// page's scripts cannot get in the way.
constexpr char kShowFrameError[] = R"JS(
for (const frame of document.querySelectorAll('iframe'))
  if (frame.src === url && !frame.hasAttribute('srcdoc')) frame.srcdoc = page;
)JS";

void OnResourceFailed(WebKitWebResource* resource, GError* error, WebKitWebView* view) {
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return;
  Browser* browser = Browser::FromView(view);
  WebKitWebResource* main = webkit_web_view_get_main_resource(view);
  const char* uri = webkit_web_resource_get_uri(resource);
  // The page itself is the load-failed signal's; only the page can show its frames' failures.
  if (!uri || resource == main || !browser->eventHandler()) return;
  std::string page = browser->eventHandler()->FrameErrorPage(*browser, uri);
  if (page.empty()) return;
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "url", "s", uri);
  g_variant_dict_insert(&arguments, "page", "s", page.c_str());
  webkit_web_view_call_async_javascript_function(view, kShowFrameError, -1,
                                                 g_variant_dict_end(&arguments), kWorld, nullptr,
                                                 nullptr, nullptr, nullptr);
}

void OnResourceLoadStarted(WebKitWebView* view, WebKitWebResource* resource, WebKitURIRequest*,
                           gpointer) {
  g_signal_connect_object(resource, "failed", G_CALLBACK(OnResourceFailed), view,
                          G_CONNECT_DEFAULT);
}

// Called when a frame that has the bridge calls window.external. The frame's address is
// checked again: only the store's origins may call, and the local error page only to retry.
void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, Browser* browser) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value) || !browser->eventHandler()) return;
  gchar* text = jsc_value_to_string(value);
  std::string message = text;
  g_free(text);
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

// Allow-list patterns of the store's frames. They match the host only, never the port: the
// port is checked again on every call (OnScriptMessage, and the game states' questions).
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
  if (manager_) {
    g_signal_handlers_disconnect_by_data(manager_, this);
    g_object_unref(manager_);
  }
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
  for (auto& work : std::exchange(afterFirstPage_, {})) work();
}

void Browser::AfterFirstPage(std::function<void()> work) {
  if (firstPageLoaded_)
    work();
  else
    afterFirstPage_.push_back(std::move(work));
}

void Browser::SetTrustedPages(std::vector<std::string> origins, std::string localPage) {
  Trusted() = TrustedPages{std::move(origins), std::move(localPage)};
}

bool Browser::IsStoreFrame(const std::string& url) {
  const auto& origins = Trusted().origins;
  return std::find(origins.begin(), origins.end(), WebOrigin(url)) != origins.end();
}

void Browser::InstallExternalObject() {
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
  manager_ = WEBKIT_USER_CONTENT_MANAGER(g_object_ref(manager));
  std::string signal = std::string("script-message-received::") + kChannel;
  g_signal_connect(manager, signal.c_str(), G_CALLBACK(OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler_in_world(manager, kChannel, kWorld);
  // Both scripts go only into frames of the trusted pages; other frames have no
  // window.external and cannot reach the channel, which lives in Lumo's world.
  std::vector<std::string> patterns = StorePatterns();
  std::vector<const char*> allow;
  for (const std::string& pattern : patterns) allow.push_back(pattern.c_str());
  allow.push_back(nullptr);
  // The store's frames hear the games' states (an empty list would match every frame); the
  // local error page only may ask for a retry.
  if (!patterns.empty()) InstallGameStatesFeed(manager, allow.data(), kWorld);
  allow.pop_back();
  if (!Trusted().localPage.empty()) allow.push_back(Trusted().localPage.c_str());
  allow.push_back(nullptr);
  WebKitUserScript* page =
      webkit_user_script_new(kPageScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow.data(), nullptr);
  WebKitUserScript* bridge = webkit_user_script_new_for_world(
      kBridgeScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, allow.data(), nullptr);
  webkit_user_content_manager_add_script(manager, page);
  webkit_user_content_manager_add_script(manager, bridge);
  webkit_user_script_unref(page);
  webkit_user_script_unref(bridge);
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
