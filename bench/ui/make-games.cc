// Makes the catalogue of the list benchmark: a data.db written by the catalogue worker itself,
// with `rows` installed games (status 6, so nothing downloads), each with its own 96x96 PNG.
// Usage: ui-bench-games DATA_DB ICON_FOLDER ROWS
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "catalogue/app-database-task-loop.h"

namespace {

class Barrier : public lumo::AppDatabaseTask {
 public:
  void run(lumo::CatalogueConnection&) override { done.set_value(); }
  std::promise<void> done;
};

// A distinct colour per game, so no two icons are the same file.
bool WriteIcon(const std::string& path, int i) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 96, 96);
  guint32 rgba = (static_cast<guint32>(i) * 2654435761u) | 0xffu;
  gdk_pixbuf_fill(pixbuf, rgba);
  GdkPixbuf* corner = gdk_pixbuf_new_subpixbuf(pixbuf, 24, 24, 48, 48);
  gdk_pixbuf_fill(corner, ~rgba | 0xffu);
  g_object_unref(corner);
  bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: ui-bench-games DATA_DB ICON_FOLDER ROWS\n");
    return 2;
  }
  const std::string db = argv[1], icons = argv[2];
  const int rows = std::atoi(argv[3]);
  auto loop = lumo::AppDatabaseTaskLoop::Create();
  loop->start();
  loop->post(std::make_shared<lumo::CreateDatabaseTask>(db));
  for (int i = 0; i < rows; ++i) {
    auto game = std::make_shared<lumo::AppItemInfo>();
    game->packageName = "com.bench.game" + std::to_string(i);
    game->appName = "Game " + std::to_string(i);
    game->imagePath = icons + "/" + game->packageName + ".png";
    game->status = 6;
    game->detailUrl = "about:blank";
    if (!WriteIcon(game->imagePath, i)) {
      std::fprintf(stderr, "cannot write %s\n", game->imagePath.c_str());
      return 1;
    }
    loop->post(std::make_shared<lumo::InsertAppTask>(std::move(game)));
  }
  auto barrier = std::make_shared<Barrier>();
  auto done = barrier->done.get_future();
  loop->post(barrier);
  done.wait();
  loop->stopAndJoin();
  return 0;
}
