#include "toolkit/browser-feed.h"

#include <cstdint>
#include <cstdlib>
#include <deque>

#include <webkit2/webkit2.h>

#include "app/log.h"
#include "platform/ui-loop.h"
#include "toolkit/browser.h"

namespace lumo::toolkit {

namespace {

constexpr char kChannel[] = "lumoGames";

// Each frame asks with the number of the last text it got; Lumo answers once it has a newer
// one, and the frame asks again. So every frame hears each change as it happens, without
// polling, in its own world and through its own frame's channel. The event waits for the
// document to be parsed: the page's scripts have set up their listeners by then.
constexpr char kFeedScript[] = R"JS(
(function () {
  var channel = window.webkit.messageHandlers.lumoGames;
  var seen = 0;
  function raise(text) {
    window.dispatchEvent(new CustomEvent('lumo-games', { detail: text }));
  }
  function ask() {
    channel.postMessage(String(location.href) + '\n' + seen).then(function (reply) {
      var cut = reply.indexOf('\n');
      seen = Number(reply.slice(0, cut));
      var text = reply.slice(cut + 1);
      if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', function () { raise(text); });
      else
        raise(text);
      ask();
    }, function () {});
  }
  ask();
})();
)JS";

// A frame's question, kept until there is a newer text to answer it with.
struct Waiting {
  WebKitScriptMessageReply* reply;
  JSCContext* context;
};

struct Feed {
  std::string text;
  std::uint64_t version = 0;
  std::deque<Waiting> waiting;
};

Feed& TheFeed() {
  static Feed feed;
  return feed;
}

// About one question per frame that shows a store page; frames that went away leave theirs
// until the next change. Past this the oldest is refused, and that frame stops asking.
constexpr std::size_t kMaxWaiting = 64;

void Release(Waiting& waiting) {
  webkit_script_message_reply_unref(waiting.reply);
  g_object_unref(waiting.context);
}

void Answer(Waiting& waiting) {
  const Feed& feed = TheFeed();
  std::string reply = std::to_string(feed.version) + '\n' + feed.text;
  JSCValue* value = jsc_value_new_string(waiting.context, reply.c_str());
  webkit_script_message_reply_return_value(waiting.reply, value);
  g_object_unref(value);
  Release(waiting);
}

// Called on the UI thread when a frame that has the feed script asks; the frame's address is
// checked again, as for window.external.
gboolean OnQuestion(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                    gpointer) {
  LUMO_CHECK_UI_THREAD();
  gchar* text = jsc_value_is_string(value) ? jsc_value_to_string(value) : nullptr;
  std::string message = text ? text : "";
  g_free(text);
  std::size_t cut = message.find('\n');
  std::string frame = message.substr(0, cut);
  if (cut == std::string::npos || !Browser::IsStoreFrame(frame)) {
    Log::instance()->write("game states for %.200s refused: not a store page.", frame.c_str());
    webkit_script_message_reply_return_error_message(reply, "not a store page");
    return TRUE;
  }
  Feed& feed = TheFeed();
  Waiting waiting{webkit_script_message_reply_ref(reply),
                  JSC_CONTEXT(g_object_ref(jsc_value_get_context(value)))};
  if (std::strtoull(message.c_str() + cut + 1, nullptr, 10) < feed.version) {
    Answer(waiting);
    return TRUE;
  }
  if (feed.waiting.size() >= kMaxWaiting) {
    webkit_script_message_reply_return_error_message(feed.waiting.front().reply, "too many pages");
    Release(feed.waiting.front());
    feed.waiting.pop_front();
  }
  feed.waiting.push_back(waiting);
  return TRUE;
}

}  // namespace

void PublishGameStates(const std::string& text) {
  LUMO_CHECK_UI_THREAD();
  Feed& feed = TheFeed();
  if (feed.version > 0 && text == feed.text) return;
  feed.text = text;
  ++feed.version;
  std::deque<Waiting> waiting;
  waiting.swap(feed.waiting);
  for (Waiting& each : waiting) Answer(each);
}

void InstallGameStatesFeed(WebKitUserContentManager* manager, const char* const* allow,
                           const char* world) {
  std::string signal = std::string("script-message-with-reply-received::") + kChannel;
  g_signal_connect(manager, signal.c_str(), G_CALLBACK(OnQuestion), nullptr);
  webkit_user_content_manager_register_script_message_handler_with_reply(manager, kChannel, world);
  WebKitUserScript* script = webkit_user_script_new_for_world(
      kFeedScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, world, allow, nullptr);
  webkit_user_content_manager_add_script(manager, script);
  webkit_user_script_unref(script);
}

}  // namespace lumo::toolkit
