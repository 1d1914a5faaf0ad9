#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtk/gtk.h>

namespace lumo::toolkit {

// The skin of a list item made ready once for the many items built from it: the builder text
// is kept, and the image files it names are decoded once and shared by every item, which
// then costs a builder parse and no file or image decoding. UI thread only.
class ItemTemplate {
 public:
  // `text` is builder XML with image paths resolved.
  explicit ItemTemplate(const std::string& text);
  ~ItemTemplate();
  ItemTemplate(const ItemTemplate&) = delete;
  ItemTemplate& operator=(const ItemTemplate&) = delete;

  // A new builder holding one copy of the item's objects; null with `error` set when the
  // text does not build.
  GtkBuilder* Build(GError** error) const;

 private:
  std::string text_;
  // Builder object ids and the images they stand for.
  std::vector<std::pair<std::string, GdkPixbuf*>> images_;
};

}  // namespace lumo::toolkit
