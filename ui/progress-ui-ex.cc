#include "ui/progress-ui-ex.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <pango/pangocairo.h>

#include <gdk/gdk.h>

#include "app/log.h"
#include "catalogue/app-item-info.h"
#include "toolkit/toolkit.h"

namespace lumo {

namespace {

constexpr char kDeleteText[] = "删除游戏";

std::function<bool()>& PlayerInstalledQuery() {
  static std::function<bool()> query = [] { return false; };
  return query;
}

std::uint32_t ParseColor(const std::string& value) {
  std::string hex = value;
  if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
  return static_cast<std::uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)) & 0xFFFFFF;
}

void SetSourceColor(cairo_t* cr, std::uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

// Overlays fill their rectangle, as the skin's image descriptions are drawn stretched.
void PaintScaled(cairo_t* cr, cairo_surface_t* image, double x, double y, double width,
                 double height) {
  if (!image || width <= 0 || height <= 0) return;
  int imageWidth = cairo_image_surface_get_width(image);
  int imageHeight = cairo_image_surface_get_height(image);
  if (imageWidth <= 0 || imageHeight <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, width / imageWidth, height / imageHeight);
  cairo_set_source_surface(cr, image, 0, 0);
  // Edges repeat their own pixels instead of fading into transparency when scaled up.
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace

cairo_surface_t* LoadImageSurface(const std::string& path) {
  GError* error = nullptr;
  GdkPixbuf* pixbuf = path.empty() ? nullptr : gdk_pixbuf_new_from_file(path.c_str(), &error);
  if (!pixbuf) {
    Log::instance()->write("image %s does not decode: %s", path.c_str(),
                           error ? error->message : "no such image");
    if (error) g_error_free(error);
    return nullptr;
  }
  int width = gdk_pixbuf_get_width(pixbuf);
  int height = gdk_pixbuf_get_height(pixbuf);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  g_object_unref(pixbuf);
  return surface;
}

SkinSurface::~SkinSurface() {
  Set(nullptr);
}

void SkinSurface::Set(cairo_surface_t* image) {
  reference_.clear();
  if (image) cairo_surface_reference(image);
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = image;
}

void SkinSurface::SetReference(std::string reference) {
  reference_ = std::move(reference);
}

cairo_surface_t* SkinSurface::get() {
  if (reference_.empty()) return surface_;
  cairo_surface_t* decoded = LoadImageSurface(toolkit::ImageFile(reference_));
  reference_.clear();
  if (decoded) {
    Set(decoded);
    cairo_surface_destroy(decoded);
  }
  return surface_;
}

CProgressUIEx::CProgressUIEx() = default;

CProgressUIEx::~CProgressUIEx() = default;

void CProgressUIEx::SetAttribute(const std::string& name, const std::string& value) {
  if (name == "foreimage") {
    foreImage_.SetReference(value);
    Redraw();
  } else if (name == "hor") {
    SetHorizontal(value == "true");
  } else if (name == "min") {
    SetMinValue(std::atoi(value.c_str()));
  } else if (name == "max") {
    SetMaxValue(std::atoi(value.c_str()));
  } else if (name == "value") {
    SetValue(std::atoi(value.c_str()));
  } else if (name == "btnPause") {
    pauseImage_.SetReference(value);
  } else if (name == "btnStart") {
    startImage_.SetReference(value);
  } else if (name == "btnInstalling") {
    busyImage_.SetReference(value);
  } else if (name == "btnLaunch") {
    launchImage_.SetReference(value);
  } else if (name == "bkimage") {
    bkImage_.SetReference(value);
  } else if (name == "bkcolor") {
    bkColor_ = ParseColor(value);
    hasBkColor_ = true;
  } else if (name == "textcolor") {
    textColor_ = ParseColor(value);
  } else if (name == "fontsize") {
    fontSize_ = std::max(1, std::atoi(value.c_str()));
  } else if (name == "textvalign") {
    textVCenter_ = value == "center";
  } else if (name == "radius") {
    radius_ = std::max(0, std::atoi(value.c_str()));
  } else if (name == "texttop") {
    textTop_ = std::atoi(value.c_str());
  }
}

void CProgressUIEx::SetForeImage(cairo_surface_t* image) {
  foreImage_.Set(image);
  Redraw();
}
void CProgressUIEx::SetPauseImage(cairo_surface_t* image) {
  pauseImage_.Set(image);
}
void CProgressUIEx::SetStartImage(cairo_surface_t* image) {
  startImage_.Set(image);
}
void CProgressUIEx::SetBusyImage(cairo_surface_t* image) {
  busyImage_.Set(image);
}
void CProgressUIEx::SetLaunchImage(cairo_surface_t* image) {
  launchImage_.Set(image);
}

void CProgressUIEx::SetHorizontal(bool horizontal) {
  horizontal_ = horizontal;
  Redraw();
}

void CProgressUIEx::SetMinValue(int min) {
  min_ = min;
  Redraw();
}

void CProgressUIEx::SetMaxValue(int max) {
  max_ = max;
  Redraw();
}

void CProgressUIEx::SetValue(int value) {
  value_ = value;
  if (value_ < min_) value_ = min_;
  if (value_ > max_) value_ = max_;
  Redraw();
}

void CProgressUIEx::SetState(int state, bool retryHelps) {
  state_ = state;
  bool failed = state == kStatusDownloadFailed || state == kStatusInstallFailed;
  std::string text = failed && !retryHelps
                         ? kDeleteText
                         : StatusControlText(state, PlayerInstalledQuery()(), value_);
  if (!text.empty()) text_ = text;
  Redraw();
}

void CProgressUIEx::SetSize(int, int height) {
  // Painting takes the width from the surface; only the slide needs the height.
  height_ = height;
}

bool CProgressUIEx::IsClickable() const {
  return state_ == kStatusDownloading || state_ == kStatusPaused ||
         state_ == kStatusDownloadFailed || state_ == kStatusInstalled ||
         state_ == kStatusInstallFailed;
}

void CProgressUIEx::OnMouseEnter() {
  if (!enabled_) return;
  if (state_ == kStatusDownloading) {
    slide_ = 0;
    Timer(kSlideOutTimer, false);
    Timer(kSlideInTimer, true);
  }
  Redraw();
}

void CProgressUIEx::OnMouseLeave(bool stillInside) {
  if (stillInside) return;
  Timer(kSlideInTimer, false);
  if (state_ == kStatusDownloading)
    Timer(kSlideOutTimer, true);
  else
    Redraw();
}

void CProgressUIEx::OnTimer(int id) {
  if (id == kSlideInTimer) {
    slide_ += kSlideStep;
    if (slide_ >= height_) {
      slide_ = height_;
      Timer(kSlideInTimer, false);
    }
  } else if (id == kSlideOutTimer) {
    slide_ -= kSlideStep;
    if (slide_ < 0) Timer(kSlideOutTimer, false);
  } else {
    return;
  }
  Redraw();
}

bool CProgressUIEx::OnButtonRelease(bool inside) {
  if (!enabled_ || !inside || !IsClickable()) return false;
  if (onClick_) onClick_();
  return true;
}

CProgressUIEx::Rect CProgressUIEx::ForeRect(int width, int height) {
  if (max_ <= min_) max_ = min_ + 1;
  value_ = std::clamp(value_, min_, max_);
  int range = max_ - min_;
  if (horizontal_) return {0, 0, (value_ - min_) * width / range, height};
  int top = (max_ - value_) * height / range;
  return {0, top, width, height - top};
}

void CProgressUIEx::Paint(cairo_t* cr, int width, int height) {
  cairo_save(cr);
  if (radius_ > 0) {
    double r = std::min({static_cast<double>(radius_), width / 2.0, height / 2.0});
    cairo_new_sub_path(cr);
    cairo_arc(cr, width - r, r, r, -G_PI / 2, 0);
    cairo_arc(cr, width - r, height - r, r, 0, G_PI / 2);
    cairo_arc(cr, r, height - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
    cairo_clip(cr);
  }
  if (hasBkColor_) {
    SetSourceColor(cr, bkColor_);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
  }
  PaintScaled(cr, bkImage_.get(), 0, 0, width, height);
  PaintStateImage(cr, width, height);
  PaintText(cr, width, height);
  cairo_restore(cr);
}

void CProgressUIEx::PaintStateImage(cairo_t* cr, int width, int height) {
  if (state_ == kStatusDownloading || state_ == kStatusPaused) {
    Rect fore = ForeRect(width, height);
    cairo_surface_t* image = foreImage_.get();
    if (image && fore.width > 0 && fore.height > 0) {
      // Revealed, not stretched: the image stays put and the rectangle uncovers it.
      cairo_save(cr);
      cairo_set_source_surface(cr, image, 0, 0);
      cairo_rectangle(cr, fore.x, fore.y, fore.width, fore.height);
      cairo_fill(cr);
      cairo_restore(cr);
    }
    if (state_ == kStatusDownloading && slide_ > 0)
      PaintScaled(cr, pauseImage_.get(), 0, height - slide_, width, slide_);
    if (state_ == kStatusPaused) PaintScaled(cr, startImage_.get(), 0, 0, width, height);
  } else if (state_ == kStatusInstalling || state_ == kStatusDeleting) {
    PaintScaled(cr, busyImage_.get(), 0, 0, width, height);
  } else if (state_ == kStatusDownloadFailed || state_ == kStatusInstalled ||
             state_ == kStatusInstallFailed) {
    PaintScaled(cr, launchImage_.get(), 0, 0, width, height);
  }
}

void CProgressUIEx::PaintText(cairo_t* cr, int width, int height) {
  if (text_.empty()) return;
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Droid Sans Fallback");
  pango_font_description_set_absolute_size(font, fontSize_ * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_text(layout, text_.c_str(), -1);
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  int textWidth = 0, textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  int top = textVCenter_ ? (height - textHeight) / 2 : textTop_;
  SetSourceColor(cr, textColor_);
  cairo_move_to(cr, 0, top);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

void CProgressUIEx::Redraw() {
  if (redraw_) redraw_();
}

void CProgressUIEx::Timer(int id, bool start) {
  if (timerControl_) timerControl_(id, start);
}

bool CProgressUIEx::PlayerInstalled() {
  return PlayerInstalledQuery()();
}

void CProgressUIEx::SetPlayerInstalledQuery(std::function<bool()> query) {
  PlayerInstalledQuery() = std::move(query);
}

}  // namespace lumo
