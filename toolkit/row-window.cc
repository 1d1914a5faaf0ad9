#include "toolkit/row-window.h"

#include <algorithm>
#include <cmath>

#include "toolkit/controls.h"

namespace lumo::toolkit {

namespace {

// Rows the view cannot show before it has a size: a first guess, corrected once it has one.
constexpr std::size_t kRowsBeforeSize = 12;

}  // namespace

RowWindow::RowWindow(GtkListBox* list, std::function<GtkWidget*()> build,
                     std::function<void(GtkWidget*, std::size_t)> bind)
    : list_(list), build_(std::move(build)), bind_(std::move(bind)) {
  // The skin puts the list in a scrolled window, which wrapped it in a viewport; the list
  // goes into a box between the two stand-ins.
  GtkWidget* viewport = gtk_widget_get_parent(GTK_WIDGET(list_));
  GtkWidget* scrolled = viewport ? gtk_widget_get_parent(viewport) : nullptr;
  if (!scrolled || !GTK_IS_SCROLLED_WINDOW(scrolled)) return;
  g_object_ref(list_);
  gtk_container_remove(GTK_CONTAINER(viewport), GTK_WIDGET(list_));
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  above_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  below_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), above_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(list_), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), below_, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(viewport), box);
  gtk_widget_show_all(box);
  g_object_unref(list_);
  adjustment_ = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
  g_object_ref(adjustment_);
  g_signal_connect(adjustment_, "value-changed", G_CALLBACK(OnValueChanged), this);
  g_signal_connect(adjustment_, "changed", G_CALLBACK(OnAdjustmentChanged), this);
}

RowWindow::~RowWindow() {
  if (!adjustment_) return;
  g_signal_handlers_disconnect_by_data(adjustment_, this);
  g_object_unref(adjustment_);
}

void RowWindow::SetCount(std::size_t count) {
  count_ = count;
  SetListRowCount(list_, static_cast<int>(count));
  Layout(true);
}

void RowWindow::Rebind() {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (first_ + i < count_) bind_(items_[i], first_ + i);
  MarkSelected(selected_);
}

std::size_t RowWindow::IndexOf(GtkWidget* item) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == item && first_ + i < count_) return first_ + i;
  return kNone;
}

GtkWidget* RowWindow::ItemAt(std::size_t index) const {
  if (index < first_ || index >= count_ || index - first_ >= items_.size()) return nullptr;
  return items_[index - first_];
}

void RowWindow::ScrollTo(std::size_t index) {
  if (!adjustment_ || rowHeight_ == 0 || index >= count_) return;
  double top = static_cast<double>(index) * rowHeight_;
  double value = gtk_adjustment_get_value(adjustment_);
  double page = gtk_adjustment_get_page_size(adjustment_);
  if (top < value)
    gtk_adjustment_set_value(adjustment_, top);
  else if (top + rowHeight_ > value + page)
    gtk_adjustment_set_value(adjustment_, top + rowHeight_ - page);
}

void RowWindow::MarkSelected(std::size_t index) {
  selected_ = index;
  GtkWidget* item = ItemAt(index);
  GtkWidget* row = item ? gtk_widget_get_parent(item) : nullptr;
  SilenceWhile(GTK_WIDGET(list_), [&] {
    if (row && GTK_IS_LIST_BOX_ROW(row))
      gtk_list_box_select_row(list_, GTK_LIST_BOX_ROW(row));
    else
      gtk_list_box_unselect_all(list_);
  });
}

void RowWindow::OnValueChanged(GtkAdjustment*, RowWindow* self) {
  self->Layout(false);
}

// The view's height is known or has changed.
void RowWindow::OnAdjustmentChanged(GtkAdjustment*, RowWindow* self) {
  if (self->items_.size() != std::min(self->count_, self->RowsWanted())) self->Layout(false);
}

std::size_t RowWindow::RowsWanted() const {
  double page = adjustment_ ? gtk_adjustment_get_page_size(adjustment_) : 0;
  if (page <= 0 || rowHeight_ == 0) return kRowsBeforeSize;
  return static_cast<std::size_t>(std::ceil(page / rowHeight_)) + 1;
}

void RowWindow::Layout(bool rebind) {
  std::size_t before = items_.size();
  std::size_t wanted = std::min(count_, RowsWanted());
  while (items_.size() < wanted) {
    GtkWidget* item = build_();
    if (!item) break;
    GtkWidget* row = gtk_list_box_row_new();
    gtk_container_add(GTK_CONTAINER(row), item);
    g_object_unref(item);
    gtk_list_box_insert(list_, row, -1);
    gtk_widget_show(row);
    items_.push_back(item);
    if (rowHeight_ == 0) {
      // Every row is built from one template: the first one's height is every row's.
      gtk_widget_get_preferred_height(row, nullptr, &rowHeight_);
      rowHeight_ = std::max(rowHeight_, 1);
      wanted = std::min(count_, RowsWanted());
    }
    gtk_widget_set_size_request(row, -1, rowHeight_);
  }
  while (items_.size() > wanted) {
    gtk_container_remove(GTK_CONTAINER(list_), gtk_widget_get_parent(items_.back()));
    items_.pop_back();
  }
  std::size_t first = 0;
  if (adjustment_ && rowHeight_ > 0)
    first = static_cast<std::size_t>(gtk_adjustment_get_value(adjustment_) / rowHeight_);
  first = std::min(first, count_ > items_.size() ? count_ - items_.size() : 0);
  bool moved = first != first_ || items_.size() != before;
  first_ = first;
  if (above_) {
    gtk_widget_set_size_request(above_, -1, static_cast<int>(first_) * rowHeight_);
    std::size_t after = count_ - first_ - std::min(items_.size(), count_ - first_);
    gtk_widget_set_size_request(below_, -1, static_cast<int>(after) * rowHeight_);
  }
  // Scrolling within the top row moves nothing; the rows stay bound as they are.
  if (rebind || moved) Rebind();
}

}  // namespace lumo::toolkit
