#include "apk/adaptive-icon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "apk/apk-badging.h"
#include "apk/apk-icon.h"
#include "apk/zip-archive.h"
#include "platform/process.h"

namespace lumo {

namespace {

constexpr std::size_t kMaxResourceDump = 32 << 20;
constexpr std::size_t kMaxTreeDump = 1 << 20;
constexpr int kMaxReferenceSteps = 4;
constexpr int kMaxLayerSide = 4096;

struct PixbufUnref {
  void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, PixbufUnref>;

// What a layer is: a raster entry, a colour, or neither.
struct Layer {
  std::string entry;
  bool isColour = false;
  std::uint32_t argb = 0;
};

bool ResolveLayer(const ResourceTable& table, const std::string& id, Layer* layer, int steps = 0) {
  auto found = table.find(id);
  if (found == table.end() || steps > kMaxReferenceSteps) return false;
  for (const ResourceValue& value : found->second) {
    if (!value.isColour) continue;
    layer->isColour = true;
    layer->argb = value.argb;
    return true;
  }
  layer->entry = BestRasterEntry(table, id);
  if (!layer->entry.empty()) return true;
  for (const ResourceValue& value : found->second)
    if (!value.reference.empty() && ResolveLayer(table, value.reference, layer, steps + 1))
      return true;
  return false;
}

std::string ToolOutput(const std::vector<std::string>& argv, std::size_t limit) {
  platform::ProcessOutput out = platform::RunProcess(argv, limit);
  return out.started && out.exitCode == 0 ? out.text : std::string();
}

// Decodes an image entry of the APK, scaled down on load when it is very large.
Pixbuf LoadEntry(const std::string& apkPath, const std::string& entry) {
  ZipArchive archive;
  std::string bytes;
  const ZipEntry* found = archive.Open(apkPath, nullptr) ? archive.Find(entry) : nullptr;
  if (!found || !archive.Read(*found, kMaxIconBytes, &bytes) || bytes.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  g_signal_connect(loader, "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* self, int width, int height, gpointer) {
                     if (width > kMaxLayerSide || height > kMaxLayerSide)
                       gdk_pixbuf_loader_set_size(self, std::min(width, kMaxLayerSide),
                                                  std::min(height, kMaxLayerSide));
                   }),
                   nullptr);
  bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()),
                                    bytes.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return Pixbuf(pixbuf);
}

// Draws a layer of 108 dp so that its middle 72 dp fill the picture.
bool DrawLayer(const std::string& apkPath, const Layer& layer, GdkPixbuf* canvas) {
  if (layer.isColour) {
    Pixbuf fill(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kAdaptiveIconSize, kAdaptiveIconSize));
    std::uint32_t rgba = (layer.argb << 8) | (layer.argb >> 24);
    gdk_pixbuf_fill(fill.get(), rgba);
    gdk_pixbuf_composite(fill.get(), canvas, 0, 0, kAdaptiveIconSize, kAdaptiveIconSize, 0, 0, 1, 1,
                         GDK_INTERP_NEAREST, 255);
    return true;
  }
  Pixbuf picture = LoadEntry(apkPath, layer.entry);
  if (!picture) return false;
  double full = kAdaptiveIconSize * 1.5, offset = -kAdaptiveIconSize * 0.25;
  gdk_pixbuf_composite(picture.get(), canvas, 0, 0, kAdaptiveIconSize, kAdaptiveIconSize, offset,
                       offset, full / gdk_pixbuf_get_width(picture.get()),
                       full / gdk_pixbuf_get_height(picture.get()), GDK_INTERP_BILINEAR, 255);
  return true;
}

// The usual launcher mask: a square with rounded corners, its edge smoothed over one pixel.
void ApplyMask(GdkPixbuf* canvas) {
  const double size = kAdaptiveIconSize, radius = size * 0.25;
  guchar* pixels = gdk_pixbuf_get_pixels(canvas);
  int stride = gdk_pixbuf_get_rowstride(canvas);
  for (int y = 0; y < kAdaptiveIconSize; ++y) {
    for (int x = 0; x < kAdaptiveIconSize; ++x) {
      double dx = std::max({radius - (x + 0.5), (x + 0.5) - (size - radius), 0.0});
      double dy = std::max({radius - (y + 0.5), (y + 0.5) - (size - radius), 0.0});
      double coverage = std::clamp(radius - std::hypot(dx, dy) + 0.5, 0.0, 1.0);
      guchar& alpha = pixels[y * stride + x * 4 + 3];
      alpha = static_cast<guchar>(std::lround(alpha * coverage));
    }
  }
}

}  // namespace

bool RenderAdaptiveIcon(const std::string& apkPath, const std::string& xmlEntry,
                        const std::string& pngPath, std::string* fallback) {
  const std::string aapt = AaptPath();
  ResourceTable table = ParseResourceTable(
      ToolOutput({aapt, "dump", "--values", "resources", apkPath}, kMaxResourceDump));
  *fallback = BestRasterEntry(table, ResourceOfEntry(table, xmlEntry));
  AdaptiveLayers layers;
  if (!ParseAdaptiveIconTree(ToolOutput({aapt, "dump", "xmltree", apkPath, xmlEntry}, kMaxTreeDump),
                             &layers))
    return false;
  Layer background, foreground;
  bool hasBackground = !layers.background.empty();
  if ((hasBackground && !ResolveLayer(table, layers.background, &background)) ||
      !ResolveLayer(table, layers.foreground, &foreground))
    return false;
  if (fallback->empty() && !foreground.isColour) *fallback = foreground.entry;
  Pixbuf canvas(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kAdaptiveIconSize, kAdaptiveIconSize));
  if (!canvas) return false;
  gdk_pixbuf_fill(canvas.get(), 0);
  if ((hasBackground && !DrawLayer(apkPath, background, canvas.get())) ||
      !DrawLayer(apkPath, foreground, canvas.get()))
    return false;
  ApplyMask(canvas.get());
  return gdk_pixbuf_save(canvas.get(), pngPath.c_str(), "png", nullptr, nullptr);
}

}  // namespace lumo
