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

// Written directly, not through a tree of values: a catalogue of 50,000 games is told in a few
// milliseconds. Names come from pages and APKs, so each is quoted by the JSON writer, and the
// result is one JSON value whatever the records hold.
std::string StoreStatesJson(const AppItemMap& records) {
  std::string text = "{\"games\":[";
  text.reserve(records.records().size() * 64 + 16);
  bool first = true;
  for (const auto& [packageName, record] : records.records()) {
    if (!first) text += ',';
    first = false;
    text += "{\"packageName\":";
    text += Json::valueToQuotedString(packageName.c_str());
    text += ",\"state\":\"";
    text += StateName(record->status);
    text += "\",\"percent\":";
    text += std::to_string(record->downloadPos);
    text += '}';
  }
  text += "]}";
  return text;
}

}  // namespace lumo
