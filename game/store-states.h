#pragma once

#include <string>

#include "catalogue/app-item-info.h"

namespace lumo {

// What the store's pages are told of the games Lumo has, as JSON text:
//   {"games":[{"packageName":"com.a","state":"downloading","percent":42}, ...]}
// `state` is one of queued, downloading, paused, downloadFailed, waitingInstall, installing,
// installed, installFailed, deleting, deleteFailed; `percent` is how far the game's download
// got. A game the list leaves out is one Lumo does not have.
std::string StoreStatesJson(const AppItemMap& records);

}  // namespace lumo
