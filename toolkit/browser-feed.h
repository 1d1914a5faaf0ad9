#pragma once

#include <string>

typedef struct _WebKitUserMessage WebKitUserMessage;

namespace lumo::toolkit {

// What Lumo tells the store's pages of its own accord, beside window.external: one text, the
// states of the games. Every frame of the store's origins (Browser::SetTrustedPages; never a
// local page) gets it as the DOM event "lumo-games" on its window, with the text as
// event.detail, once its document is parsed and again after every change. UI thread.
void PublishGameStates(const std::string& text);

// A store frame's question for the states newer than the ones it has (its text: "FRAME\nSEEN"),
// which the page bridge sent; it is answered, now or at the next change, by a reply to
// `message`. UI thread.
void AskForGameStates(WebKitUserMessage* message, const std::string& question);

}  // namespace lumo::toolkit
