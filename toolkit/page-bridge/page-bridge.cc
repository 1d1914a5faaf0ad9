// Loaded by WebKit into each of Lumo's web processes. It gives the trusted frames Lumo's side
// of window.external and the games' states feed, in a script world of its own, and carries
// their calls to Lumo as plain text messages. Lumo checks every message again: this side only
// decides which frames get the scripts.

#include <cstring>
#include <string>
#include <vector>

#include <webkit2/webkit-web-extension.h>

#include "app/web-address.h"
#include "toolkit/page-bridge/messages.h"

namespace {

namespace bridge = lumo::toolkit::bridge;

// Passes each window.external call on with the address of the frame it came from. The page's
// own window.external (a user script of Lumo's, in the page's world) raises "lumo-call" with
// the call in the attributes of a short-lived element, since only DOM text crosses worlds.
constexpr char kBridgeScript[] = R"JS(
(function (host) {
  document.addEventListener('lumo-call', function (event) {
    var note = event.target;
    if (!note || note.localName !== 'lumo-call') return;
    var argument = note.getAttribute('argument');
    host.call(String(location.href) + '\n' + (note.getAttribute('method') || '') +
              '\n' + (argument === null ? 'x' : 's' + argument));
  }, true);
})
)JS";

// Each frame asks with the number of the last text it got; Lumo answers once it has a newer
// one, and the frame asks again. So every frame hears each change as it happens, without
// polling. The event waits for the document to be parsed: the page's scripts have set up
// their listeners by then. A refused question is never asked again.
constexpr char kFeedScript[] = R"JS(
(function (host) {
  var seen = 0;
  function raise(text) {
    window.dispatchEvent(new CustomEvent('lumo-games', { detail: text }));
  }
  function ask() {
    host.ask(String(location.href) + '\n' + seen, function (reply) {
      var cut = reply.indexOf('\n');
      seen = Number(reply.slice(0, cut));
      var text = reply.slice(cut + 1);
      if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', function () { raise(text); });
      else
        raise(text);
      ask();
    });
  }
  ask();
})
)JS";

// Puts the error page into the frames that show `url`.
constexpr char kShowFrameError[] = R"JS(
(function (url, page) {
  for (const frame of document.querySelectorAll('iframe'))
    if (frame.src === url && !frame.hasAttribute('srcdoc')) frame.srcdoc = page;
})
)JS";

constexpr char kMainFrameKey[] = "lumo-main-frame";

struct Trusted {
  std::vector<std::string> origins;
  std::string localPage;
};

Trusted& TheTrusted() {
  static Trusted trusted;
  return trusted;
}

WebKitWebExtension*& TheExtension() {
  static WebKitWebExtension* extension = nullptr;
  return extension;
}

WebKitScriptWorld* World() {
  static WebKitScriptWorld* world = webkit_script_world_new_with_name(bridge::kWorld);
  return world;
}

bool IsStoreFrame(const std::string& url) {
  std::string origin = lumo::WebOrigin(url);
  for (const std::string& trusted : TheTrusted().origins)
    if (!origin.empty() && origin == trusted) return true;
  return false;
}

// The page a script's call belongs to, or null once it is gone. Scripts hold the page's
// number, not the page, which they may outlive.
WebKitWebPage* PageOf(gpointer number) {
  return webkit_web_extension_get_page(TheExtension(), *static_cast<guint64*>(number));
}

WebKitUserMessage* TextMessage(const char* name, const char* text) {
  return webkit_user_message_new(name, g_variant_new_string(text));
}

void Call(const char* text, gpointer number) {
  WebKitWebPage* page = PageOf(number);
  // A page can hand over text that is not UTF-8 (a lone surrogate); it is not a call.
  if (!page || !text || !g_utf8_validate(text, -1, nullptr)) return;
  webkit_web_page_send_message_to_view(page, TextMessage(bridge::kCall, text), nullptr, nullptr,
                                       nullptr);
}

void OnGamesReply(GObject* page, GAsyncResult* result, gpointer callback) {
  WebKitUserMessage* reply =
      webkit_web_page_send_message_to_view_finish(WEBKIT_WEB_PAGE(page), result, nullptr);
  GVariant* text = reply ? webkit_user_message_get_parameters(reply) : nullptr;
  if (text && std::strcmp(webkit_user_message_get_name(reply), bridge::kGames) == 0 &&
      g_variant_is_of_type(text, G_VARIANT_TYPE_STRING)) {
    JSCValue* ignored = jsc_value_function_call(JSC_VALUE(callback), G_TYPE_STRING,
                                                g_variant_get_string(text, nullptr), G_TYPE_NONE);
    g_clear_object(&ignored);
  }
  if (reply) g_object_unref(reply);
  g_object_unref(callback);
}

void Ask(const char* text, JSCValue* callback, gpointer number) {
  WebKitWebPage* page = PageOf(number);
  if (!page || !text || !g_utf8_validate(text, -1, nullptr) || !jsc_value_is_function(callback))
    return;
  webkit_web_page_send_message_to_view(page, TextMessage(bridge::kGames, text), nullptr,
                                       OnGamesReply, g_object_ref(callback));
}

void RunWith(JSCContext* context, const char* script, JSCValue* host) {
  JSCValue* function = jsc_context_evaluate(context, script, -1);
  JSCValue* ignored = jsc_value_function_call(function, JSC_TYPE_VALUE, host, G_TYPE_NONE);
  g_clear_object(&ignored);
  g_object_unref(function);
}

void DeleteNumber(gpointer number) {
  delete static_cast<guint64*>(number);
}

// A frame has a new document: a store frame gets the bridge and the feed, the local error
// page only the bridge (Lumo takes only a retry from it), any other frame nothing.
void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  // Lumo's error pages for frames that cannot load go in through the main frame's document.
  if (webkit_frame_is_main_frame(frame))
    g_object_set_data_full(G_OBJECT(page), kMainFrameKey, g_object_ref(context), g_object_unref);
  const char* uri = webkit_frame_get_uri(frame);
  std::string url = uri ? uri : "";
  bool store = IsStoreFrame(url);
  if (!store && (TheTrusted().localPage.empty() || url != TheTrusted().localPage)) {
    g_object_unref(context);
    return;
  }
  JSCValue* host = jsc_value_new_object(context, nullptr, nullptr);
  guint64 number = webkit_web_page_get_id(page);
  JSCValue* call = jsc_value_new_function(context, "call", G_CALLBACK(Call), new guint64(number),
                                          DeleteNumber, G_TYPE_NONE, 1, G_TYPE_STRING);
  jsc_value_object_set_property(host, "call", call);
  g_object_unref(call);
  if (store) {
    JSCValue* ask =
        jsc_value_new_function(context, "ask", G_CALLBACK(Ask), new guint64(number), DeleteNumber,
                               G_TYPE_NONE, 2, G_TYPE_STRING, JSC_TYPE_VALUE);
    jsc_value_object_set_property(host, "ask", ask);
    g_object_unref(ask);
  }
  RunWith(context, kBridgeScript, host);
  if (store) RunWith(context, kFeedScript, host);
  g_object_unref(host);
  g_object_unref(context);
}

gboolean OnMessageFromLumo(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  if (std::strcmp(webkit_user_message_get_name(message), bridge::kFrameError) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return TRUE;
  const char* url = nullptr;
  const char* html = nullptr;
  g_variant_get(parameters, "(&s&s)", &url, &html);
  auto* context = static_cast<JSCContext*>(g_object_get_data(G_OBJECT(page), kMainFrameKey));
  if (!context) return TRUE;
  JSCValue* function = jsc_context_evaluate(context, kShowFrameError, -1);
  JSCValue* ignored =
      jsc_value_function_call(function, G_TYPE_STRING, url, G_TYPE_STRING, html, G_TYPE_NONE);
  g_clear_object(&ignored);
  g_object_unref(function);
  return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnMessageFromLumo), nullptr);
}

}  // namespace

// `data` is (origins, local page): the store's origins ("http://127.0.0.1:18080") and the
// address of Lumo's error page.
extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* data) {
  TheExtension() = extension;
  auto* parameters = const_cast<GVariant*>(data);
  if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ass)"))) {
    GVariantIter* origins = nullptr;
    const char* localPage = nullptr;
    g_variant_get(parameters, "(as&s)", &origins, &localPage);
    const char* origin = nullptr;
    while (g_variant_iter_next(origins, "&s", &origin)) TheTrusted().origins.emplace_back(origin);
    g_variant_iter_free(origins);
    TheTrusted().localPage = localPage;
  }
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
  g_signal_connect(World(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared), nullptr);
}
