#pragma once

#include <gtk/gtk.h>

#include "ui/progress-ui-ex.h"

namespace lumo {

// The GTK widget that hosts a CProgressUIEx: it forwards size, drawing, the mouse and the two
// slide timers, sets the hand cursor, and emits "lumo-click" when the control reports a click.
// Skin properties ("foreimage", "hor", "min", "max", "value", "btnPause", "btnStart",
// "btnInstalling", "btnLaunch" and a few label looks) are passed on as attributes.
GType ProgressWidgetType();
// The control inside a widget of that type; null for any other widget.
CProgressUIEx* ProgressFromWidget(GtkWidget* widget);

}  // namespace lumo
