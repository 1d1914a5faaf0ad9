#pragma once

#include <functional>
#include <string>

namespace lumo::platform {

// The user's own programs for addresses and folders: the default browser, the file manager.
// UI thread; nothing waits for the program that is started.

// Opens an address with the program the user chose for its kind (a web address in the
// default browser, a file address in the file manager). False with `error` when none started.
bool OpenWithDefaultProgram(const std::string& uri, std::string* error);

// Opens a local folder in the user's file manager.
bool OpenFolder(const std::string& path, std::string* error);

// How a request to show an item ended: `shown` is false when nothing could be started, and
// `detail` says which way was taken or what failed.
using ShowItemDone = std::function<void(bool shown, const std::string& detail)>;

// Shows a file or folder selected in its parent folder through the desktop's file manager
// service; where no service answers, opens the parent folder instead. `done` runs once, from
// the UI loop (at once when the path cannot be written as a file address).
void ShowInFileManager(const std::string& path, ShowItemDone done);

}  // namespace lumo::platform
