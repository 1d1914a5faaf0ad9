#include "toolkit/row-window.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "toolkit/controls.h"

namespace lumo::toolkit {
namespace {

// Runs the loop for a few frames of `widget`'s window, so that its sizes and scrolling are
// laid out and drawn as a user would see them.
void Settle(GtkWidget* widget) {
  int frames = 0;
  gtk_widget_add_tick_callback(
      widget,
      +[](GtkWidget*, GdkFrameClock*, gpointer data) -> gboolean {
        if (++*static_cast<int*>(data) < 4) return G_SOURCE_CONTINUE;
        gtk_main_quit();
        return G_SOURCE_REMOVE;
      },
      &frames, nullptr);
  gtk_main();
}

std::string TextOf(GtkWidget* item) {
  return item ? gtk_label_get_text(GTK_LABEL(item)) : "";
}

int RowsOf(GtkListBox* list) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(list));
  int rows = static_cast<int>(g_list_length(children));
  g_list_free(children);
  return rows;
}

// A shown window 300 px high holding a list of 20 px rows, laid out as the skins lay it out.
struct ListWindow {
  ListWindow() {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 200, 300);
    scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    list = GTK_LIST_BOX(gtk_list_box_new());
    gtk_container_add(GTK_CONTAINER(scrolled), GTK_WIDGET(list));
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    // A listener as the skins' own: it hears what the toolkit does not silence.
    g_signal_connect(list, "row-selected",
                     G_CALLBACK(+[](GtkListBox* box, GtkListBoxRow*, int* heard) {
                       if (!IsSilenced(GTK_WIDGET(box))) ++*heard;
                     }),
                     &selectionsHeard);
    rows = std::make_unique<RowWindow>(
        list,
        [] {
          GtkWidget* label = gtk_label_new("");
          gtk_widget_set_size_request(label, -1, 20);
          gtk_widget_show(label);
          return GTK_WIDGET(g_object_ref_sink(label));
        },
        [this](GtkWidget* item, std::size_t index) {
          ++binds;
          gtk_label_set_text(GTK_LABEL(item), ("record " + std::to_string(index)).c_str());
        });
    gtk_widget_show_all(window);
    Settle(window);
  }
  ~ListWindow() {
    rows.reset();
    gtk_widget_destroy(window);
  }
  GtkAdjustment* adjustment() const {
    return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
  }

  GtkWidget* window;
  GtkWidget* scrolled;
  GtkListBox* list;
  std::unique_ptr<RowWindow> rows;
  int binds = 0;
  int selectionsHeard = 0;
};

TEST(RowWindow, BuildsOnlyTheRowsInViewAndBindsThemWhereverTheViewGoes) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  ListWindow view;
  constexpr std::size_t kRecords = 50000;
  view.rows->SetCount(kRecords);
  Settle(view.window);
  // Rows enough to fill the view and one more, far fewer than the records.
  int built = RowsOf(view.list);
  ASSERT_NE(view.rows->ItemAt(0), nullptr);
  EXPECT_EQ(TextOf(view.rows->ItemAt(0)), "record 0");
  int rowHeight = gtk_widget_get_allocated_height(gtk_widget_get_parent(view.rows->ItemAt(0)));
  GtkAdjustment* adjustment = view.adjustment();
  double page = gtk_adjustment_get_page_size(adjustment);
  EXPECT_GE(rowHeight, 20);
  EXPECT_GE((built - 1) * rowHeight, page);
  EXPECT_LT((built - 2) * rowHeight, page);
  EXPECT_EQ(view.rows->ItemAt(kRecords / 2), nullptr);
  // The scrolled window spans every record as if each had its row.
  EXPECT_NEAR(gtk_adjustment_get_upper(adjustment), 1.0 * rowHeight * kRecords, rowHeight);

  // The far end, reached by the scroll bar, shows the last records in rows built before.
  view.binds = 0;
  gtk_adjustment_set_value(adjustment, gtk_adjustment_get_upper(adjustment));
  Settle(view.window);
  EXPECT_EQ(RowsOf(view.list), built);
  EXPECT_EQ(TextOf(view.rows->ItemAt(kRecords - 1)), "record 49999");
  EXPECT_EQ(view.rows->IndexOf(view.rows->ItemAt(kRecords - 1)), kRecords - 1);
  EXPECT_EQ(view.rows->ItemAt(0), nullptr);
  EXPECT_LE(view.binds, 2 * built);
  // Scrolling less than a row rebinds nothing.
  view.binds = 0;
  gtk_adjustment_set_value(adjustment, gtk_adjustment_get_value(adjustment) - 5);
  Settle(view.window);
  EXPECT_EQ(view.binds, 0);

  // A selection follows its record, not the row that showed it, and tells no listener.
  view.rows->ScrollTo(1234);
  view.rows->MarkSelected(1234);
  Settle(view.window);
  GtkListBoxRow* selected = gtk_list_box_get_selected_row(view.list);
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(TextOf(gtk_bin_get_child(GTK_BIN(selected))), "record 1234");
  gtk_adjustment_set_value(adjustment, 0);
  Settle(view.window);
  EXPECT_EQ(gtk_list_box_get_selected_row(view.list), nullptr);
  view.rows->ScrollTo(1234);
  Settle(view.window);
  selected = gtk_list_box_get_selected_row(view.list);
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(TextOf(gtk_bin_get_child(GTK_BIN(selected))), "record 1234");
  EXPECT_EQ(view.selectionsHeard, 0);

  // Fewer records than rows: one row each, nothing left over, the view back at the top.
  view.rows->SetCount(3);
  Settle(view.window);
  EXPECT_EQ(RowsOf(view.list), 3);
  EXPECT_EQ(TextOf(view.rows->ItemAt(2)), "record 2");
  view.rows->SetCount(0);
  Settle(view.window);
  EXPECT_EQ(RowsOf(view.list), 0);
  EXPECT_EQ(view.rows->ItemAt(0), nullptr);
}

}  // namespace
}  // namespace lumo::toolkit
