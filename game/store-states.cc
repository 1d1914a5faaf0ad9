#include "game/store-states.h"

#include <json/json.h>

namespace lumo {

namespace {

const char* StateName(int status) {
  switch (status) {
    case kStatusQueued:
      return "queued";
    case kStatusDownloading:
      return "downloading";
    case kStatusPaused:
      return "paused";
    case kStatusDownloadFailed:
      return "downloadFailed";
    case kStatusWaitingInstall:
      return "waitingInstall";
    case kStatusInstalling:
      return "installing";
    case kStatusInstalled:
      return "installed";
    case kStatusInstallFailed:
      return "installFailed";
    case kStatusQueuedForDelete:
    case kStatusDeleting:
      return "deleting";
    default:
      return "deleteFailed";
  }
}

}  // namespace

// The writer encodes every text (names come from pages and APKs), so the result is one JSON
// value whatever the records hold.
std::string StoreStatesJson(const AppItemMap& records) {
  Json::Value games(Json::arrayValue);
  for (const auto& [packageName, record] : records.records()) {
    Json::Value game;
    game["packageName"] = packageName;
    game["state"] = StateName(record->status);
    game["percent"] = record->downloadPos;
    games.append(std::move(game));
  }
  Json::Value root;
  root["games"] = std::move(games);
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, root);
}

}  // namespace lumo
