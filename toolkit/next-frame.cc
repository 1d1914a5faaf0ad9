#include "toolkit/next-frame.h"

#include <memory>

namespace lumo::toolkit {

namespace {

struct Pending {
  std::function<void()> work;
  GWeakRef widget;
};

void Drop(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  g_weak_ref_clear(&pending->widget);
  delete pending;
}

gboolean RunPending(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  auto* widget = static_cast<GtkWidget*>(g_weak_ref_get(&pending->widget));
  if (widget) {
    if (!gtk_widget_in_destruction(widget)) pending->work();
    g_object_unref(widget);
  }
  return G_SOURCE_REMOVE;
}

// Tick callbacks run in a frame's update phase, before its layout and paint; the frame is
// painted in the same dispatch, so an idle source queued here runs after it.
gboolean OnFirstTick(GtkWidget* widget, GdkFrameClock*, gpointer data) {
  auto* tick = static_cast<Pending*>(data);
  auto* pending = new Pending{std::move(tick->work), {}};
  g_weak_ref_init(&pending->widget, widget);
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunPending, pending, Drop);
  return G_SOURCE_REMOVE;
}

}  // namespace

void AfterNextFrame(GtkWidget* widget, std::function<void()> work) {
  auto* tick = new Pending{std::move(work), {}};
  g_weak_ref_init(&tick->widget, nullptr);
  gtk_widget_add_tick_callback(widget, OnFirstTick, tick, Drop);
}

}  // namespace lumo::toolkit
