#include "ui/progress-ui-ex.h"

#include <vector>

#include <gtest/gtest.h>

namespace lumo {
namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 40;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

cairo_surface_t* Solid(int width, int height, double r, double g, double b) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_paint(cr);
  cairo_destroy(cr);
  return surface;
}

// Left half red, right half blue: a stretched image would show blue where a revealed one
// still shows red.
cairo_surface_t* HalfAndHalf() {
  cairo_surface_t* surface = Solid(kWidth, kHeight, 0, 0, 1);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_rectangle(cr, 0, 0, kWidth / 2, kHeight);
  cairo_fill(cr);
  cairo_destroy(cr);
  return surface;
}

class Canvas {
 public:
  Canvas() : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight)) {}
  ~Canvas() { cairo_surface_destroy(surface_); }
  void Paint(CProgressUIEx& control) {
    cairo_t* cr = cairo_create(surface_);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    control.Paint(cr, kWidth, kHeight);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  }
  Rgb At(int x, int y) const {
    unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    auto pixel = *reinterpret_cast<std::uint32_t*>(data + y * stride + x * 4);
    return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
            static_cast<int>(pixel & 0xFF)};
  }

 private:
  cairo_surface_t* surface_;
};

const Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kBlue{0, 0, 255};

// A control that reveals HalfAndHalf; its text goes on the top rows, the probes stay below.
void Dress(CProgressUIEx& control) {
  control.SetSize(kWidth, kHeight);
  cairo_surface_t* fore = HalfAndHalf();
  control.SetForeImage(fore);
  cairo_surface_destroy(fore);
}

TEST(ProgressUIEx, ForeImageIsRevealedInProportionNotStretchedAndTheRangeIsRepaired) {
  CProgressUIEx control;
  Dress(control);
  control.SetValue(75);
  control.SetState(1);
  EXPECT_EQ(control.text(), "75%");
  EXPECT_EQ(control.ForeRect(kWidth, kHeight), (CProgressUIEx::Rect{0, 0, 150, kHeight}));
  Canvas canvas;
  canvas.Paint(control);
  EXPECT_EQ(canvas.At(10, 35), kRed);
  EXPECT_EQ(canvas.At(120, 35), kBlue);  // the image's own right half, revealed in place
  EXPECT_EQ(canvas.At(149, 35), kBlue);
  EXPECT_EQ(canvas.At(151, 35), kBlack);  // not reached yet
  EXPECT_EQ(canvas.At(199, 35), kBlack);

  control.SetValue(25);
  control.SetState(1);
  canvas.Paint(control);
  EXPECT_EQ(canvas.At(49, 35), kRed);
  EXPECT_EQ(canvas.At(51, 35), kBlack);

  // The range is clamped and repaired.
  control.SetValue(150);
  control.SetState(1);
  EXPECT_EQ(control.value(), 100);
  EXPECT_EQ(control.text(), "100%");
  canvas.Paint(control);
  EXPECT_EQ(canvas.At(199, 35), kBlue);

  control.SetValue(-5);
  EXPECT_EQ(control.value(), 0);

  // max equal to min: repaired to min + 1 when painting, no division by zero.
  control.SetMinValue(10);
  control.SetMaxValue(10);
  control.SetValue(10);
  control.SetState(2);
  canvas.Paint(control);
  EXPECT_EQ(control.maxValue(), 11);
  EXPECT_EQ(control.ForeRect(kWidth, kHeight).width, 0);
}

}  // namespace
}  // namespace lumo
