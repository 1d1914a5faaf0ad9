#pragma once

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <string>

#include "catalogue/app-item-info.h"

namespace lumo {

// One of the control's images. A skin names it by reference and it is decoded when it is
// first painted: the control is built with the main window but shows only on My Games.
class SkinSurface {
 public:
  SkinSurface() = default;
  ~SkinSurface();
  SkinSurface(const SkinSurface&) = delete;
  SkinSurface& operator=(const SkinSurface&) = delete;

  // A reference is taken; null clears.
  void Set(cairo_surface_t* image);
  // Decoded on first use; one that does not decode leaves the image as it was.
  void SetReference(std::string reference);
  cairo_surface_t* get();

 private:
  std::string reference_;
  cairo_surface_t* surface_ = nullptr;
};

// The detail panel's progress bar and action button in one. Its state is the selected game's
// status code: the state decides the image drawn, the text, and whether clicks count. This
// class holds the logic and paints with cairo, so it can draw into an offscreen surface; the
// GTK widget in ui/progress-widget.h hosts it in a window. UI thread only.
class CProgressUIEx {
 public:
  static constexpr char kClassName[] = "ProgressEx";
  static constexpr int kSlideInTimer = 100;
  static constexpr int kSlideOutTimer = 101;
  static constexpr int kTimerPeriodMs = 30;
  static constexpr int kSlideStep = 15;
  static constexpr int kDefaultHeight = 12;

  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
  };
  // Starts (true) or stops (false) timer `id`; the host calls OnTimer(id) on every tick.
  using TimerControl = std::function<void(int id, bool start)>;

  CProgressUIEx();
  ~CProgressUIEx();
  CProgressUIEx(const CProgressUIEx&) = delete;
  CProgressUIEx& operator=(const CProgressUIEx&) = delete;

  // Skin attributes; unknown names are ignored. Image values are skin references.
  void SetAttribute(const std::string& name, const std::string& value);
  // Images by surface (a reference is taken); null clears.
  void SetForeImage(cairo_surface_t* image);
  void SetPauseImage(cairo_surface_t* image);
  void SetStartImage(cairo_surface_t* image);
  void SetBusyImage(cairo_surface_t* image);
  void SetLaunchImage(cairo_surface_t* image);

  void SetHorizontal(bool horizontal);
  void SetMinValue(int min);
  void SetMaxValue(int max);
  void SetValue(int value);
  // Stores the state and sets the text that goes with it; set the value first. A failed state
  // (3, 7) that trying again cannot change reads as the delete its click then asks for.
  void SetState(int state, bool retryHelps = true);
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  void SetSize(int width, int height);

  int state() const { return state_; }
  int value() const { return value_; }
  int minValue() const { return min_; }
  int maxValue() const { return max_; }
  bool horizontal() const { return horizontal_; }
  int slide() const { return slide_; }
  const std::string& text() const { return text_; }
  // Pause, resume, retry (or delete), launch and install again: states 1, 2, 3, 6 and 7.
  bool IsClickable() const;
  bool WantsHandCursor() const { return enabled_ && IsClickable(); }

  // Mouse and timer events from the host.
  void OnMouseEnter();
  void OnMouseLeave(bool stillInside);
  void OnTimer(int id);
  // Mouse button released; true when the click is reported to the window.
  bool OnButtonRelease(bool inside);

  // Where the fore image shows in states 1 and 2 for a control of this size. Repairs the
  // range (max above min) and clamps the value, as painting does.
  Rect ForeRect(int width, int height);
  // Paints background, state image and text into a control of this size at the origin.
  void Paint(cairo_t* cr, int width, int height);

  void set_timer_control(TimerControl control) { timerControl_ = std::move(control); }
  void set_redraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }
  void set_on_click(std::function<void()> onClick) { onClick_ = std::move(onClick); }
  // Whether the player runtime is installed decides state 4's text; the runtime's owner sets it.
  static void SetPlayerInstalledQuery(std::function<bool()> query);
  static bool PlayerInstalled();

 private:
  void Redraw();
  void Timer(int id, bool start);
  void PaintStateImage(cairo_t* cr, int width, int height);
  void PaintText(cairo_t* cr, int width, int height);

  bool horizontal_ = true;
  int max_ = 100;
  int min_ = 0;
  int value_ = 0;
  SkinSurface foreImage_;
  SkinSurface pauseImage_;
  SkinSurface startImage_;
  SkinSurface busyImage_;
  SkinSurface launchImage_;
  SkinSurface bkImage_;
  int slide_ = 0;
  int state_ = kStatusDownloading;
  std::string text_;
  bool enabled_ = true;
  int height_ = kDefaultHeight;
  // Label look: top-aligned single centred line unless the skin centres it vertically.
  bool textVCenter_ = false;
  std::uint32_t textColor_ = 0xFFFFFF;
  std::uint32_t bkColor_ = 0;
  bool hasBkColor_ = false;
  int fontSize_ = 12;
  int textTop_ = 0;
  int radius_ = 0;
  TimerControl timerControl_;
  std::function<void()> redraw_;
  std::function<void()> onClick_;
};

// An image file decoded into a cairo surface (PNG, JPEG, BMP, GIF, SVG); null and a log line
// when it does not decode.
cairo_surface_t* LoadImageSurface(const std::string& path);

}  // namespace lumo
