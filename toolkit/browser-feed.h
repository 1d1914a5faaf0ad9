#pragma once

#include <string>

typedef struct _WebKitUserContentManager WebKitUserContentManager;

namespace lumo::toolkit {

// What Lumo tells the store's pages of its own accord, beside window.external: one text, the
// states of the games. Every frame of the store's origins (Browser::SetTrustedPages; never a
// local page) gets it as the DOM event "lumo-games" on its window, with the text as
// event.detail, once its document is parsed and again after every change. UI thread.
void PublishGameStates(const std::string& text);

// Opens the feed in one browser's content manager, for the frames that match `allow` (a null-
// terminated list of allow-list patterns); its script runs in `world`, out of the pages' reach.
void InstallGameStatesFeed(WebKitUserContentManager* manager, const char* const* allow,
                           const char* world);

}  // namespace lumo::toolkit
