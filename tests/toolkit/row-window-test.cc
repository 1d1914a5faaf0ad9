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

TEST(RowWindow, BuildsOnlyTheRowsInViewAndBindsThemWhereverTheViewGoes) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  // A shown window 300 px high with a list of 20 px labels, laid out as the skins lay it out.
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 200, 300);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  GtkListBox* list = GTK_LIST_BOX(gtk_list_box_new());
  gtk_container_add(GTK_CONTAINER(scrolled), GTK_WIDGET(list));
  gtk_container_add(GTK_CONTAINER(window), scrolled);
  // A listener as the skins' own: it hears what the toolkit does not silence.
  int selectionsHeard = 0, binds = 0;
  g_signal_connect(list, "row-selected",
                   G_CALLBACK(+[](GtkListBox* box, GtkListBoxRow*, int* heard) {
                     if (!IsSilenced(GTK_WIDGET(box))) ++*heard;
                   }),
                   &selectionsHeard);
  auto rows = std::make_unique<RowWindow>(
      list,
      [] {
        GtkWidget* label = gtk_label_new("");
        gtk_widget_set_size_request(label, -1, 20);
        gtk_widget_show(label);
        return GTK_WIDGET(g_object_ref_sink(label));
      },
      [&binds](GtkWidget* item, std::size_t index) {
        ++binds;
        gtk_label_set_text(GTK_LABEL(item), ("record " + std::to_string(index)).c_str());
      });
  gtk_widget_show_all(window);
  constexpr std::size_t kRecords = 50000;
  rows->SetCount(kRecords);
  Settle(window);
  // Rows enough to fill the view and one more, far fewer than the records.
  int built = RowsOf(list);
  ASSERT_EQ(TextOf(rows->ItemAt(0)), "record 0");
  int rowHeight = gtk_widget_get_allocated_height(gtk_widget_get_parent(rows->ItemAt(0)));
  GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
  double page = gtk_adjustment_get_page_size(adjustment);
  EXPECT_GE(rowHeight, 20);
  EXPECT_GE((built - 1) * rowHeight, page);
  EXPECT_LT((built - 2) * rowHeight, page);
  EXPECT_EQ(rows->ItemAt(kRecords / 2), nullptr);
  // The scrolled window spans every record as if each had its row.
  EXPECT_NEAR(gtk_adjustment_get_upper(adjustment), 1.0 * rowHeight * kRecords, rowHeight);

  // The far end, reached by the scroll bar, shows the last records in rows built before.
  binds = 0;
  gtk_adjustment_set_value(adjustment, gtk_adjustment_get_upper(adjustment));
  Settle(window);
  EXPECT_EQ(RowsOf(list), built);
  EXPECT_EQ(TextOf(rows->ItemAt(kRecords - 1)), "record 49999");
  EXPECT_EQ(rows->IndexOf(rows->ItemAt(kRecords - 1)), kRecords - 1);
  EXPECT_EQ(rows->ItemAt(0), nullptr);
  EXPECT_LE(binds, 2 * built);
  // Scrolling less than a row rebinds nothing.
  binds = 0;
  gtk_adjustment_set_value(adjustment, gtk_adjustment_get_value(adjustment) - 5);
  Settle(window);
  EXPECT_EQ(binds, 0);

  // A selection follows its record, not the row that showed it, and tells no listener.
  auto selected = [list] {
    GtkListBoxRow* row = gtk_list_box_get_selected_row(list);
    return row ? TextOf(gtk_bin_get_child(GTK_BIN(row))) : "none";
  };
  rows->ScrollTo(1234);
  rows->MarkSelected(1234);
  Settle(window);
  EXPECT_EQ(selected(), "record 1234");
  gtk_adjustment_set_value(adjustment, 0);
  Settle(window);
  EXPECT_EQ(selected(), "none");
  rows->ScrollTo(1234);
  Settle(window);
  EXPECT_EQ(selected(), "record 1234");
  EXPECT_EQ(selectionsHeard, 0);

  // Fewer records than rows: one row each, nothing left over, the view back at the top.
  rows->SetCount(3);
  Settle(window);
  EXPECT_EQ(RowsOf(list), 3);
  EXPECT_EQ(TextOf(rows->ItemAt(2)), "record 2");
  rows->SetCount(0);
  Settle(window);
  EXPECT_EQ(RowsOf(list), 0);
  EXPECT_EQ(rows->ItemAt(0), nullptr);
  rows.reset();
  gtk_widget_destroy(window);
}

}  // namespace
}  // namespace lumo::toolkit
