#include "toolkit/browser-feed.h"

#include <cstdint>
#include <cstdlib>
#include <deque>

#include <webkit2/webkit2.h>

#include "app/log.h"
#include "platform/ui-loop.h"
#include "toolkit/browser.h"
#include "toolkit/page-bridge/messages.h"

namespace lumo::toolkit {

namespace {

// A frame's question, kept until there is a newer text to answer it with.
using Waiting = WebKitUserMessage*;

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

void Reply(Waiting question, const char* name, const std::string& text) {
  webkit_user_message_send_reply(question,
                                 webkit_user_message_new(name, g_variant_new_string(text.c_str())));
  g_object_unref(question);
}

void Answer(Waiting question) {
  const Feed& feed = TheFeed();
  Reply(question, bridge::kGames, std::to_string(feed.version) + '\n' + feed.text);
}

}  // namespace

void AskForGameStates(WebKitUserMessage* message, const std::string& question) {
  LUMO_CHECK_UI_THREAD();
  std::size_t cut = question.find('\n');
  std::string frame = question.substr(0, cut);
  if (cut == std::string::npos || !Browser::IsStoreFrame(frame)) {
    Log::instance()->write("game states for %.200s refused: not a store page.", frame.c_str());
    Reply(WEBKIT_USER_MESSAGE(g_object_ref(message)), bridge::kRefused, "not a store page");
    return;
  }
  Feed& feed = TheFeed();
  auto waiting = WEBKIT_USER_MESSAGE(g_object_ref(message));
  if (std::strtoull(question.c_str() + cut + 1, nullptr, 10) < feed.version) {
    Answer(waiting);
    return;
  }
  if (feed.waiting.size() >= kMaxWaiting) {
    Reply(feed.waiting.front(), bridge::kRefused, "too many pages");
    feed.waiting.pop_front();
  }
  feed.waiting.push_back(waiting);
}

void PublishGameStates(const std::string& text) {
  LUMO_CHECK_UI_THREAD();
  Feed& feed = TheFeed();
  if (feed.version > 0 && text == feed.text) return;
  feed.text = text;
  ++feed.version;
  std::deque<Waiting> waiting;
  waiting.swap(feed.waiting);
  for (Waiting each : waiting) Answer(each);
}

}  // namespace lumo::toolkit
