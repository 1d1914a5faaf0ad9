// The peer of the store start benchmark: a bare GTK window whose WebKitWebView loads one page,
// the way Lumo's main window loads the store home page, then prints "loaded T URL" (T in ms
// since the epoch) when WebKit reports the load finished: the signal read from Lumo. A 10 ms
// probe timer, as in Lumo's test hook, measures how late the UI loop ran it; on SIGTERM the
// peer prints its worst lateness as "worst_ms=X" and ends.
// Usage: store-paint-peer URL
#include <algorithm>
#include <csignal>
#include <cstdio>

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

constexpr int kProbeMs = 10;
gint64 lastTick = 0;
gint64 worstLateness = 0;

gboolean OnProbeTick(gpointer) {
  gint64 now = g_get_monotonic_time();
  if (lastTick) worstLateness = std::max(worstLateness, now - lastTick - gint64{kProbeMs} * 1000);
  lastTick = now;
  return G_SOURCE_CONTINUE;
}

gboolean OnTerminate(gpointer) {
  std::printf("worst_ms=%.1f\n", static_cast<double>(worstLateness) / 1000.0);
  std::fflush(stdout);
  gtk_main_quit();
  return G_SOURCE_REMOVE;
}

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  std::printf("loaded %lld %s\n", static_cast<long long>(g_get_real_time() / 1000),
              webkit_web_view_get_uri(view));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  gtk_init(&argc, &argv);
  g_timeout_add(kProbeMs, OnProbeTick, nullptr);
  g_unix_signal_add(SIGTERM, OnTerminate, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1260, 720);
  GtkWidget* web = webkit_web_view_new();
  g_signal_connect(web, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  gtk_container_add(GTK_CONTAINER(window), web);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(web), argv[1]);
  gtk_main();
  return 0;
}
