#pragma once

#include <functional>

#include <gtk/gtk.h>

namespace lumo::toolkit {

// Runs `work` once on the UI thread right after the next frame of `widget`'s window has been
// painted (for a window not shown yet, its first), or never when the widget is destroyed before
// then: what need not happen before the user sees a change waits for this.
void AfterNextFrame(GtkWidget* widget, std::function<void()> work);

}  // namespace lumo::toolkit
