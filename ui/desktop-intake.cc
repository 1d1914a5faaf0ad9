#include "ui/desktop-intake.h"

#include <memory>

#include "app/apk-handoff.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/file-system.h"
#include "platform/ui-loop.h"

namespace lumo {

namespace {

struct DropTarget {
  OpenApksFn open;
};

// Local files only: a drop from another machine's file browser names nothing we can read.
std::vector<std::string> LocalPaths(GtkSelectionData* data) {
  std::vector<std::string> paths;
  gchar** uris = gtk_selection_data_get_uris(data);
  for (gchar** uri = uris; uri && *uri; ++uri) {
    if (gchar* path = g_filename_from_uri(*uri, nullptr, nullptr)) {
      paths.emplace_back(path);
      g_free(path);
    }
  }
  g_strfreev(uris);
  return paths;
}

void OnDragDataReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint,
                        guint, gpointer self) {
  std::vector<std::string> paths = LocalPaths(data);
  if (paths.empty()) return;
  // Adding may ask a question in a modal window: not inside the drop, whose source waits.
  OpenApksFn open = static_cast<DropTarget*>(self)->open;
  platform::InvokeOnUiThread([open, paths] { open(paths); });
}

}  // namespace

void AcceptDesktopApks(GtkWindow* window, platform::WindowHandle handle, OpenApksFn open) {
  auto* target = new DropTarget{open};
  gtk_drag_dest_set(GTK_WIDGET(window), GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets(GTK_WIDGET(window));
  g_signal_connect_data(
      window, "drag-data-received", G_CALLBACK(OnDragDataReceived), target,
      [](gpointer data, GClosure*) { delete static_cast<DropTarget*>(data); }, GConnectFlags{});
  platform::AcceptWindowData(handle, MSG_OPEN_APKS,
                             [open](const std::string& block) { open(DecodeApkPaths(block)); });
}

std::vector<std::string> ExistingApkFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (LooksLikeApkPath(path) && platform::IsRegularFile(path))
      files.push_back(path);
    else
      Log::instance()->write("%s is not an APK file; not added.", path.c_str());
  }
  return files;
}

}  // namespace lumo
