// The peer of the list benchmark: a bare GTK window that fills a GtkListBox with the rows of
// a data.db (icon decoded at the size shown, and the name; each inserted at the top) next to a
// WebKitWebView in one go. It prints "answered" at its first frame and "filled N worst_ms=W"
// once the full list is laid out and painted, W being the worst lateness of a 10 ms timer
// from the start to that moment (the same probe as Lumo's test hook runs).
// Usage: list-fill-peer DATA_DB
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <sqlite3.h>
#include <webkit2/webkit2.h>

namespace {

gint64 lastTick = 0, worstLateness = 0;

gboolean ProbeTick(gpointer) {
  gint64 now = g_get_monotonic_time();
  if (lastTick) worstLateness = std::max(worstLateness, now - lastTick - 10000);
  lastTick = now;
  return G_SOURCE_CONTINUE;
}

struct Row {
  std::string name, icon;
};

std::vector<Row> ReadRows(const char* path) {
  std::vector<Row> rows;
  sqlite3* db = nullptr;
  sqlite3_stmt* select = nullptr;
  sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_prepare_v2(db, "select appName, imagePath from AppList", -1, &select, nullptr);
  while (sqlite3_step(select) == SQLITE_ROW)
    rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(select, 0)),
                    reinterpret_cast<const char*>(sqlite3_column_text(select, 1))});
  sqlite3_finalize(select);
  sqlite3_close(db);
  return rows;
}

gboolean Fill(gpointer data) {
  auto* list = GTK_LIST_BOX(data);
  std::vector<Row> rows =
      ReadRows(static_cast<const char*>(g_object_get_data(G_OBJECT(list), "db")));
  for (const Row& row : rows) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GdkPixbuf* icon = gdk_pixbuf_new_from_file_at_scale(row.icon.c_str(), 48, 48, TRUE, nullptr);
    gtk_container_add(GTK_CONTAINER(box), gtk_image_new_from_pixbuf(icon));
    if (icon) g_object_unref(icon);
    gtk_container_add(GTK_CONTAINER(box), gtk_label_new(row.name.c_str()));
    gtk_widget_show_all(box);
    gtk_list_box_insert(list, box, 0);
  }
  gtk_list_box_select_row(list, gtk_list_box_get_row_at_index(list, 0));
  // An idle job runs after the frame that lays out and paints the list.
  g_idle_add(
      [](gpointer count) -> gboolean {
        std::printf("filled %zu worst_ms=%.1f\n", GPOINTER_TO_SIZE(count),
                    static_cast<double>(worstLateness) / 1000.0);
        std::fflush(stdout);
        return G_SOURCE_REMOVE;
      },
      GSIZE_TO_POINTER(rows.size()));
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1260, 720);
  GtkWidget* paned = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_size_request(scroller, 300, -1);
  GtkWidget* list = gtk_list_box_new();
  g_object_set_data(G_OBJECT(list), "db", argv[1]);
  gtk_container_add(GTK_CONTAINER(scroller), list);
  GtkWidget* web = webkit_web_view_new();
  gtk_widget_set_hexpand(web, TRUE);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(web), "about:blank");
  gtk_container_add(GTK_CONTAINER(paned), scroller);
  gtk_container_add(GTK_CONTAINER(paned), web);
  gtk_container_add(GTK_CONTAINER(window), paned);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  g_timeout_add(10, ProbeTick, nullptr);
  // The first idle job after showing the window runs after its first frame.
  g_idle_add(
      [](gpointer) -> gboolean {
        std::printf("answered\n");
        std::fflush(stdout);
        return G_SOURCE_REMOVE;
      },
      nullptr);
  g_idle_add(Fill, list);
  gtk_main();
  return 0;
}
