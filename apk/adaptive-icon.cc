#include "apk/adaptive-icon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <zip.h>

#include "apk/apk-badging.h"
#include "apk/apk-icon.h"
#include "platform/process.h"

namespace lumo {

namespace {

constexpr std::size_t kMaxLineBytes = 4096;
constexpr std::size_t kMaxResourceDump = 32 << 20;
constexpr std::size_t kMaxTreeDump = 1 << 20;
constexpr int kMaxReferenceSteps = 4;
constexpr int kMaxLayerSide = 4096;

struct PixbufUnref {
  void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, PixbufUnref>;

std::string Trimmed(const std::string& line) {
  std::size_t start = line.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : line.substr(start);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "0x" and eight hex digits.
bool IsResourceId(const std::string& text) {
  return text.size() == 10 && StartsWith(text, "0x") &&
         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
}

// The value after "key=" up to the next blank.
std::string Field(const std::string& line, const std::string& key) {
  std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return {};
  at += key.size() + 2;
  return line.substr(at, line.find(' ', at) - at);
}

// Applies one line of the resource dump to the table; `id` is the resource being listed.
void ReadResourceLine(const std::string& line, std::string* config, std::string* id,
                      ResourceTable* table) {
  if (StartsWith(line, "config ") && EndsWith(line, ":")) {
    *config = line.substr(7, line.size() - 8);
    id->clear();
  } else if (StartsWith(line, "resource ")) {
    std::string candidate = line.substr(9, 10);
    std::string type = Field(line, "t"), data = Field(line, "d");
    id->clear();
    if (!IsResourceId(candidate) || type.size() != 4 || !IsResourceId(data)) return;
    ResourceValue value;
    value.config = *config;
    long kind = std::strtol(type.c_str(), nullptr, 16);
    if (kind >= 0x1c && kind <= 0x1f) {
      value.isColour = true;
      value.argb = static_cast<std::uint32_t>(std::strtoul(data.c_str(), nullptr, 16));
    } else if (kind == 0x01) {
      value.reference = data;
    } else if (kind != 0x03) {
      return;
    }
    *id = candidate;
    (*table)[candidate].push_back(value);
  } else if (!id->empty() &&
             (StartsWith(line, "(string8) \"") || StartsWith(line, "(string16) \""))) {
    std::size_t open = line.find('"');
    if (line.size() > open + 1 && line.back() == '"')
      (*table)[*id].back().file = line.substr(open + 1, line.size() - open - 2);
    id->clear();
  }
}

// Density of a configuration in dpi; 160 for the default, 0 for none or any.
int Density(const std::string& config) {
  static const std::pair<const char*, int> kNamed[] = {
      {"ldpi", 120},   {"mdpi", 160},    {"tvdpi", 213}, {"hdpi", 240}, {"xhdpi", 320},
      {"xxhdpi", 480}, {"xxxhdpi", 640}, {"nodpi", 0},   {"anydpi", 0}};
  std::istringstream steps(config);
  for (std::string step; std::getline(steps, step, '-');) {
    for (const auto& [name, dpi] : kNamed)
      if (step == name) return dpi;
    if (EndsWith(step, "dpi") && step.size() > 3 && step.size() < 8) return std::atoi(step.c_str());
  }
  return 160;
}

bool IsRasterFile(const std::string& entry) {
  return (EndsWith(entry, ".png") && !EndsWith(entry, ".9.png")) || EndsWith(entry, ".webp") ||
         EndsWith(entry, ".jpg") || EndsWith(entry, ".jpeg");
}

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
  int code = 0;
  zip_t* archive = zip_open(apkPath.c_str(), ZIP_RDONLY, &code);
  if (!archive) return nullptr;
  std::string bytes;
  zip_file_t* file = zip_fopen(archive, entry.c_str(), 0);
  char chunk[65536];
  zip_int64_t n = 0;
  while (file && (n = zip_fread(file, chunk, sizeof chunk)) > 0 && bytes.size() <= kMaxIconBytes)
    bytes.append(chunk, static_cast<std::size_t>(n));
  if (file) zip_fclose(file);
  zip_discard(archive);
  if (!file || n < 0 || bytes.empty() || bytes.size() > kMaxIconBytes) return nullptr;
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

ResourceTable ParseResourceTable(const std::string& dump) {
  ResourceTable table;
  std::string config, id;
  std::size_t start = 0;
  while (start < dump.size()) {
    std::size_t end = dump.find('\n', start);
    if (end == std::string::npos) end = dump.size();
    if (end - start <= kMaxLineBytes) {
      std::string line = Trimmed(dump.substr(start, end - start));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ReadResourceLine(line, &config, &id, &table);
    }
    start = end + 1;
  }
  return table;
}

bool ParseAdaptiveIconTree(const std::string& tree, AdaptiveLayers* layers) {
  std::istringstream in(tree);
  std::string element;
  bool adaptive = false;
  for (std::string line; std::getline(in, line);) {
    if (line.size() > kMaxLineBytes) continue;
    line = Trimmed(line);
    if (StartsWith(line, "E: ")) {
      element = line.substr(3, line.find(' ', 3) - 3);
      adaptive = adaptive || element == "adaptive-icon";
    } else if (StartsWith(line, "A: android:drawable(") && line.find(")=@") != std::string::npos) {
      std::string value = line.substr(line.find(")=@") + 3, 10);
      if (!IsResourceId(value)) continue;
      if (element == "background") layers->background = value;
      if (element == "foreground") layers->foreground = value;
    }
  }
  return adaptive && !layers->foreground.empty();
}

std::string BestRasterEntry(const ResourceTable& table, const std::string& id) {
  auto found = table.find(id);
  if (found == table.end()) return {};
  const ResourceValue* best = nullptr;
  for (const ResourceValue& value : found->second)
    if (IsRasterFile(value.file) && (!best || Density(value.config) > Density(best->config)))
      best = &value;
  return best ? best->file : std::string();
}

std::string ResourceOfEntry(const ResourceTable& table, const std::string& entry) {
  for (const auto& [id, values] : table)
    for (const ResourceValue& value : values)
      if (value.file == entry) return id;
  return {};
}

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
