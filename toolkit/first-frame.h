#pragma once

#include <functional>

#include <gtk/gtk.h>

namespace lumo::toolkit {

// Runs `work` once on the UI thread right after `widget` has painted its first frame, or never
// when the widget is destroyed before then: what start-up need not do before the user sees the
// window waits for this.
void AfterFirstFrame(GtkWidget* widget, std::function<void()> work);

}  // namespace lumo::toolkit
