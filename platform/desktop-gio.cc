#include <memory>

#include <gio/gio.h>

#include "platform/desktop.h"

namespace lumo::platform {

namespace {

// The freedesktop file manager interface, which file managers of every desktop implement.
constexpr char kFileManagerName[] = "org.freedesktop.FileManager1";
constexpr char kFileManagerPath[] = "/org/freedesktop/FileManager1";
// A file manager that the bus starts for this call needs a moment before it answers.
constexpr int kShowItemsTimeoutMs = 10000;

struct ShowRequest {
  std::string path;
  std::string uri;
  ShowItemDone done;
};

std::string TakeError(GError* error) {
  std::string text = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return text;
}

std::string FileUri(const std::string& path, std::string* error) {
  GError* failure = nullptr;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &failure);
  if (!uri) {
    *error = TakeError(failure);
    return {};
  }
  std::string text = uri;
  g_free(uri);
  return text;
}

void OpenParentFolder(std::unique_ptr<ShowRequest> request, const std::string& why) {
  gchar* parent = g_path_get_dirname(request->path.c_str());
  std::string folder = parent;
  g_free(parent);
  std::string error;
  bool opened = OpenFolder(folder, &error);
  request->done(
      opened, why + "; " + (opened ? "opened " + folder : "cannot open " + folder + ": " + error));
}

void OnShowItemsReply(GObject* bus, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ShowRequest> request(static_cast<ShowRequest*>(data));
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (!reply) {
    OpenParentFolder(std::move(request), "file manager service: " + TakeError(error));
    return;
  }
  g_variant_unref(reply);
  request->done(true, "file manager shows " + request->uri);
}

void OnSessionBus(GObject*, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ShowRequest> request(static_cast<ShowRequest*>(data));
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (!bus) {
    OpenParentFolder(std::move(request), "no session bus: " + TakeError(error));
    return;
  }
  const gchar* uris[] = {request->uri.c_str(), nullptr};
  // Without a startup id the file manager decides itself how to raise its window.
  g_dbus_connection_call(bus, kFileManagerName, kFileManagerPath, kFileManagerName, "ShowItems",
                         g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE,
                         kShowItemsTimeoutMs, nullptr, OnShowItemsReply, request.release());
  g_object_unref(bus);
}

}  // namespace

bool OpenWithDefaultProgram(const std::string& uri, std::string* error) {
  GError* failure = nullptr;
  if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &failure)) return true;
  *error = TakeError(failure);
  return false;
}

bool OpenFolder(const std::string& path, std::string* error) {
  std::string uri = FileUri(path, error);
  return !uri.empty() && OpenWithDefaultProgram(uri, error);
}

void ShowInFileManager(const std::string& path, ShowItemDone done) {
  auto request = std::make_unique<ShowRequest>();
  // "/a/b/" names the folder b, whose parent is /a.
  request->path = path;
  while (request->path.size() > 1 && request->path.back() == '/') request->path.pop_back();
  std::string error;
  request->uri = FileUri(request->path, &error);
  if (request->uri.empty()) {
    done(false, "cannot show " + path + ": " + error);
    return;
  }
  request->done = std::move(done);
  g_bus_get(G_BUS_TYPE_SESSION, nullptr, OnSessionBus, request.release());
}

}  // namespace lumo::platform
