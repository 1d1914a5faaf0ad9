#pragma once

#include <functional>

#include <gtk/gtk.h>

namespace lumo::toolkit {

// Works out the sizes of `root` and every widget under it, and realizes them once their window
// is, a few milliseconds at a time on the UI thread, deepest first, then runs `done`: GTK keeps
// each widget's size until it changes, so the frame that shows a large hidden part finds its
// styles, fonts, sizes and windows ready instead of making them all at once. `done` never runs
// when `root` is destroyed first.
void SizeGradually(GtkWidget* root, std::function<void()> done);

}  // namespace lumo::toolkit
