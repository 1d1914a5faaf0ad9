#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "platform/window.h"

namespace lumo {

using OpenApksFn = std::function<void(const std::vector<std::string>& paths)>;

// APK files that reach the main window from the desktop: dropped onto it (a list of file
// addresses), or named by a later start of the program (MSG_OPEN_APKS data). Both go to
// `open` on the UI thread, after the drop has finished. UI thread only.
void AcceptDesktopApks(GtkWindow* window, platform::WindowHandle handle, OpenApksFn open);

// The paths that name existing regular files ending in ".apk"; each other one is logged.
std::vector<std::string> ExistingApkFiles(const std::vector<std::string>& paths);

}  // namespace lumo
