#include "ui/exit-causes.h"

#include <X11/Xlib.h>
#include <csignal>
#include <cstdlib>

#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include "app/log.h"

namespace lumo {

namespace {

struct SignalCause {
  int number;
  const char* name;
};
constexpr SignalCause kSignals[] = {
    {SIGTERM, "signal SIGTERM"}, {SIGINT, "signal SIGINT"}, {SIGHUP, "signal SIGHUP"}};

// Xlib ends the process when the display connection breaks (the X server went away or a window
// manager killed the client); the log says so first, since no shutdown step will.
int OnDisplayLost(Display*) {
  Log::instance()->write("quit: the display connection was lost.");
  Log::instance()->stop();
  std::_Exit(1);
}

}  // namespace

ExitCauses::ExitCauses(std::function<void(const char*)> quit) : quit_(std::move(quit)) {
  std::signal(SIGPIPE, SIG_IGN);
  static_assert(std::size(kSignals) == std::size(decltype(watches_){}));
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    Watch& watch = watches_[i];
    watch = {this, kSignals[i].name, 0};
    watch.source = g_unix_signal_add(
        kSignals[i].number,
        [](gpointer data) -> gboolean {
          auto* fired = static_cast<Watch*>(data);
          fired->owner->quit_(fired->cause);
          return G_SOURCE_CONTINUE;
        },
        &watch);
  }
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) XSetIOErrorHandler(OnDisplayLost);
}

ExitCauses::~ExitCauses() {
  for (const Watch& watch : watches_)
    if (watch.source) g_source_remove(watch.source);
}

}  // namespace lumo
