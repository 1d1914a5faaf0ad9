#include "toolkit/browser.h"

#include <webkit2/webkit2.h>

#include "app/log.h"

namespace lumo::toolkit {

namespace {

constexpr char kBrowserKey[] = "lumo-browser";
constexpr char kChannel[] = "lumoExternal";

// window.external for store pages: each method forwards its name and first argument to the
// host. A text argument is marked "s", anything else "x", so the host can tell them apart.
constexpr char kExternalScript[] = R"JS(
(function () {
  function forward(method) {
    return function (arg) {
      var message = method + '\n' + (typeof arg === 'string' ? 's' + arg : 'x');
      window.webkit.messageHandlers.lumoExternal.postMessage(message);
    };
  }
  var external = {
    downloadClicked: forward('downloadClicked'),
    onClickRetry: forward('onClickRetry'),
    cloudClicked: forward('cloudClicked')
  };
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: true });
  } catch (e) {
    window.external = external;
  }
})();
)JS";

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, Browser* browser) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION || !browser->eventHandler())
    return FALSE;
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = webkit_uri_request_get_uri(request);
  if (!browser->eventHandler()->BeforeNavigate(*browser, uri ? uri : "")) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
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

void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, Browser* browser) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value) || !browser->eventHandler()) return;
  gchar* text = jsc_value_to_string(value);
  std::string message = text;
  g_free(text);
  size_t newline = message.find('\n');
  if (newline == std::string::npos || newline + 1 >= message.size()) return;
  std::optional<std::string> argument;
  if (message[newline + 1] == 's') argument = message.substr(newline + 2);
  browser->eventHandler()->ExternalCall(*browser, message.substr(0, newline), argument);
}

}  // namespace

Browser* Browser::FromView(WebKitWebView* view) {
  if (!view) return nullptr;
  auto* browser = static_cast<Browser*>(g_object_get_data(G_OBJECT(view), kBrowserKey));
  if (browser) return browser;
  browser = new Browser(view);
  g_object_set_data_full(G_OBJECT(view), kBrowserKey, browser,
                         [](gpointer p) { delete static_cast<Browser*>(p); });
  return browser;
}

Browser::Browser(WebKitWebView* view) : view_(view) {
  // Dark until a page paints, so loading never flashes white in the dark skins.
  GdkRGBA background{0.07, 0.078, 0.106, 1.0};
  webkit_web_view_set_background_color(view, &background);
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
  InstallExternalObject();
}

Browser::~Browser() {
  g_signal_handlers_disconnect_by_data(view_, this);
  if (manager_) {
    g_signal_handlers_disconnect_by_data(manager_, this);
    g_object_unref(manager_);
  }
}

void Browser::InstallExternalObject() {
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
  manager_ = WEBKIT_USER_CONTENT_MANAGER(g_object_ref(manager));
  std::string signal = std::string("script-message-received::") + kChannel;
  g_signal_connect(manager, signal.c_str(), G_CALLBACK(OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(manager, kChannel);
  WebKitUserScript* script =
      webkit_user_script_new(kExternalScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
}

void Browser::SetEventHandler(std::unique_ptr<BrowserEventHandler> handler) {
  handler_ = std::move(handler);
}

void Browser::Navigate(const std::string& url) {
  if (url.empty()) return;
  webkit_web_view_load_uri(view_, url.c_str());
}

std::string Browser::url() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri ? uri : "";
}

}  // namespace lumo::toolkit
