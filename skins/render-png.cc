// Renders a skin's vector image to a PNG at the image's own size. The program then decodes
// bitmaps only and never loads the vector renderer, which is slow to load and large.
#include <cstdio>

#include <gdk-pixbuf/gdk-pixbuf.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IMAGE OUT.png\n", argv[0]);
    return 2;
  }
  GError* error = nullptr;
  GdkPixbuf* image = gdk_pixbuf_new_from_file(argv[1], &error);
  bool saved = image && gdk_pixbuf_save(image, argv[2], "png", &error, nullptr);
  if (image) g_object_unref(image);
  if (saved) return 0;
  std::fprintf(stderr, "%s: %s\n", argv[1], error->message);
  g_error_free(error);
  return 1;
}
