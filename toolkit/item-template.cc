#include "toolkit/item-template.h"

namespace lumo::toolkit {

namespace {

constexpr char kFileProperty[] = "<property name=\"file\">";
constexpr char kIconProperty[] = "<property name=\"gicon\">";
constexpr char kPropertyEnd[] = "</property>";

}  // namespace

// An image's "file" property becomes a "gicon" property naming an object the builder is given:
// a GdkPixbuf is an icon too, drawn at its own size. Not "pixbuf": the builder reads that
// property's text as a file name, never as an object, and the image would stay empty. A file
// that does not decode keeps its property, so it shows as it did before.
ItemTemplate::ItemTemplate(const std::string& text) {
  size_t from = 0;
  for (size_t at = text.find(kFileProperty); at != std::string::npos;
       at = text.find(kFileProperty, from)) {
    size_t start = at + sizeof kFileProperty - 1;
    size_t end = text.find(kPropertyEnd, start);
    if (end == std::string::npos) break;
    std::string file = text.substr(start, end - start);
    GdkPixbuf* image = gdk_pixbuf_new_from_file(file.c_str(), nullptr);
    text_.append(text, from, at - from);
    if (image) {
      std::string id = "lumo-image-" + std::to_string(images_.size());
      images_.emplace_back(id, image);
      text_ += kIconProperty + id;
    } else {
      text_.append(text, at, end - at);
    }
    from = end;
  }
  text_.append(text, from, std::string::npos);
}

ItemTemplate::~ItemTemplate() {
  for (auto& [id, image] : images_) g_object_unref(image);
}

GtkBuilder* ItemTemplate::Build(GError** error) const {
  GtkBuilder* builder = gtk_builder_new();
  for (const auto& [id, image] : images_)
    gtk_builder_expose_object(builder, id.c_str(), G_OBJECT(image));
  if (!gtk_builder_add_from_string(builder, text_.c_str(), text_.size(), error)) {
    g_object_unref(builder);
    return nullptr;
  }
  return builder;
}

}  // namespace lumo::toolkit
