#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <gtk/gtk.h>

namespace lumo::toolkit {

// A list of any length drawn with a fixed set of rows. The list box keeps only the rows that
// the view can show plus one; two empty boxes above and below it stand for the rows that are
// not built, so the scrolled window scrolls over the whole list as it would over real rows.
// When the view moves past a row, every row is bound again to the records it now shows. The
// list box's own selection marks the shown row of the selected record only. UI thread only.
class RowWindow {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // build() returns a new item (a reference the row window takes); bind(item, index) fills
  // it with record `index`, 0 being the top one.
  RowWindow(GtkListBox* list, std::function<GtkWidget*()> build,
            std::function<void(GtkWidget*, std::size_t)> bind);
  ~RowWindow();
  RowWindow(const RowWindow&) = delete;
  RowWindow& operator=(const RowWindow&) = delete;

  // The number of records; every shown row is bound again.
  void SetCount(std::size_t count);
  std::size_t count() const { return count_; }
  // Binds every shown row again, as when the records changed in place.
  void Rebind();
  // The record shown by an item, or kNone.
  std::size_t IndexOf(GtkWidget* item) const;
  // The item that shows record `index`, or nullptr when it is out of view.
  GtkWidget* ItemAt(std::size_t index) const;
  // Scrolls so that record `index` is in view, if it is not.
  void ScrollTo(std::size_t index);
  // Marks the row of record `index` selected, without telling the list's listeners.
  void MarkSelected(std::size_t index);

 private:
  static void OnValueChanged(GtkAdjustment* adjustment, RowWindow* self);
  static void OnAdjustmentChanged(GtkAdjustment* adjustment, RowWindow* self);
  // Enough rows to fill the view and one more, placed where the view is; they are bound
  // again when asked or when they now show other records.
  void Layout(bool rebind);
  std::size_t RowsWanted() const;

  GtkListBox* list_;
  GtkAdjustment* adjustment_ = nullptr;
  GtkWidget* above_ = nullptr;
  GtkWidget* below_ = nullptr;
  std::function<GtkWidget*()> build_;
  std::function<void(GtkWidget*, std::size_t)> bind_;
  std::vector<GtkWidget*> items_;
  std::size_t count_ = 0;
  std::size_t first_ = 0;
  std::size_t selected_ = kNone;
  int rowHeight_ = 0;
};

}  // namespace lumo::toolkit
