#include "ui/notifier.h"

#include <memory>

#include "app/log.h"
#include "platform/file-system.h"

namespace lumo {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
// The program's own icon and its desktop entry, as the install lays them out.
constexpr char kProgramIcon[] = "lumo";
constexpr char kDesktopEntry[] = "lumo";

struct PendingNotify {
  Notifier* notifier;
  std::string packageName;
};

// Lumo never starts a session bus of its own: one started for it would outlive it.
bool HasSessionBus() {
  if (g_getenv("DBUS_SESSION_BUS_ADDRESS")) return true;
  gchar* socket = g_build_filename(g_get_user_runtime_dir(), "bus", nullptr);
  bool found = platform::PathExists(socket);
  g_free(socket);
  return found;
}

}  // namespace

Notifier::Notifier(GtkWindow* window, ActivateFn activate)
    : window_(window), activate_(std::move(activate)), cancellable_(g_cancellable_new()) {
  if (!HasSessionBus()) return;
  g_bus_get(
      G_BUS_TYPE_SESSION, cancellable_,
      [](GObject*, GAsyncResult* result, gpointer self) {
        GDBusConnection* bus = g_bus_get_finish(result, nullptr);
        if (!bus) return;  // no bus, or the notifier went first
        static_cast<Notifier*>(self)->OnBus(bus);
      },
      this);
}

Notifier::~Notifier() {
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  if (bus_) {
    g_dbus_connection_signal_unsubscribe(bus_, signals_);
    g_object_unref(bus_);
  }
}

void Notifier::OnBus(GDBusConnection* bus) {
  if (g_cancellable_is_cancelled(cancellable_)) {
    g_object_unref(bus);
    return;
  }
  bus_ = bus;
  // Only the service's own signals: another client cannot click on our behalf.
  signals_ = g_dbus_connection_signal_subscribe(
      bus_, kService, kService, nullptr, kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
         GVariant* parameters,
         gpointer self) { static_cast<Notifier*>(self)->OnSignal(signal, parameters); },
      this, nullptr);
}

bool Notifier::UserIsLooking() const {
  GtkWidget* widget = GTK_WIDGET(window_);
  if (!widget || !gtk_widget_get_mapped(widget) || !gtk_window_is_active(window_)) return false;
  GdkWindow* surface = gtk_widget_get_window(widget);
  return surface && !(gdk_window_get_state(surface) & GDK_WINDOW_STATE_ICONIFIED);
}

void Notifier::Tell(const AppItemInfo& record, const std::string& text) {
  if (!bus_ || UserIsLooking()) return;
  bool hasIcon = platform::IsRegularFile(record.imagePath);
  std::string name = record.appName.empty() ? record.packageName : record.appName;
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", "default");
  g_variant_builder_add(&actions, "s", "打开");
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(kDesktopEntry));
  if (hasIcon)
    g_variant_builder_add(&hints, "{sv}", "image-path",
                          g_variant_new_string(record.imagePath.c_str()));
  GVariant* arguments = g_variant_new("(susssasa{sv}i)", "Lumo", 0u,
                                      hasIcon ? record.imagePath.c_str() : kProgramIcon,
                                      name.c_str(), text.c_str(), &actions, &hints, -1);
  auto* request = new PendingNotify{this, record.packageName};
  g_dbus_connection_call(
      bus_, kService, kPath, kService, "Notify", arguments, G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
      [](GObject* bus, GAsyncResult* result, gpointer data) {
        std::unique_ptr<PendingNotify> pending(static_cast<PendingNotify*>(data));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
        if (!reply) {
          // Cancelled means the notifier is gone: it must not be touched.
          if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            Log::instance()->write("notification of %s not shown: %s", pending->packageName.c_str(),
                                   error->message);
          g_error_free(error);
          return;
        }
        guint32 id = 0;
        g_variant_get(reply, "(u)", &id);
        g_variant_unref(reply);
        pending->notifier->OnShown(id, pending->packageName);
      },
      request);
}

void Notifier::OnShown(std::uint32_t id, const std::string& packageName) {
  if (id) shown_[id] = packageName;
}

// The service's signals are outside input: their shape is checked, and only ids it gave us
// mean anything.
void Notifier::OnSignal(const gchar* signal, GVariant* parameters) {
  if (g_strcmp0(signal, "ActionInvoked") == 0 &&
      g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
    guint32 id = 0;
    const gchar* action = nullptr;
    g_variant_get(parameters, "(u&s)", &id, &action);
    auto it = shown_.find(id);
    if (it == shown_.end() || g_strcmp0(action, "default") != 0) return;
    std::string packageName = it->second;
    shown_.erase(it);
    activate_(packageName);
  } else if (g_strcmp0(signal, "NotificationClosed") == 0 &&
             g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
    guint32 id = 0, reason = 0;
    g_variant_get(parameters, "(uu)", &id, &reason);
    shown_.erase(id);
  }
}

}  // namespace lumo
