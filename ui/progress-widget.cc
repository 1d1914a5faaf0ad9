#include "ui/progress-widget.h"

#include <map>

namespace lumo {

namespace {

struct LumoProgressEx {
  GtkDrawingArea parent;
  CProgressUIEx* control;
  std::map<int, guint>* timers;
};

struct LumoProgressExClass {
  GtkDrawingAreaClass parent;
};

// The attributes a skin may give; each is a string property handed to the control.
constexpr const char* kAttributes[] = {"foreimage", "hor",        "min",      "max",
                                       "value",     "btnPause",   "btnStart", "btnInstalling",
                                       "btnLaunch", "bkimage",    "bkcolor",  "textcolor",
                                       "fontsize",  "textvalign", "texttop",  "radius"};

guint clickSignal = 0;

G_DEFINE_TYPE(LumoProgressEx, lumo_progress_ex, GTK_TYPE_DRAWING_AREA)

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec*) {
  auto* self = reinterpret_cast<LumoProgressEx*>(object);
  const char* text = g_value_get_string(value);
  if (id >= 1 && id <= G_N_ELEMENTS(kAttributes) && text)
    self->control->SetAttribute(kAttributes[id - 1], text);
}

void GetProperty(GObject* object, guint, GValue* value, GParamSpec*) {
  (void)object;
  g_value_set_string(value, nullptr);
}

void UpdateCursor(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  if (!window) return;
  CProgressUIEx* control = ProgressFromWidget(widget);
  GdkCursor* cursor = nullptr;
  if (control->WantsHandCursor())
    cursor = gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer");
  gdk_window_set_cursor(window, cursor);
  if (cursor) g_object_unref(cursor);
}

gboolean Draw(GtkWidget* widget, cairo_t* cr) {
  CProgressUIEx* control = ProgressFromWidget(widget);
  int width = gtk_widget_get_allocated_width(widget);
  int height = gtk_widget_get_allocated_height(widget);
  control->SetSize(width, height);
  control->SetEnabled(gtk_widget_is_sensitive(widget));
  control->Paint(cr, width, height);
  return FALSE;
}

gboolean Enter(GtkWidget* widget, GdkEventCrossing*) {
  UpdateCursor(widget);
  ProgressFromWidget(widget)->OnMouseEnter();
  return FALSE;
}

gboolean Leave(GtkWidget* widget, GdkEventCrossing* event) {
  ProgressFromWidget(widget)->OnMouseLeave(event->detail == GDK_NOTIFY_INFERIOR);
  return FALSE;
}

gboolean Release(GtkWidget* widget, GdkEventButton* event) {
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  bool inside = event->x >= 0 && event->y >= 0 &&
                event->x < gtk_widget_get_allocated_width(widget) &&
                event->y < gtk_widget_get_allocated_height(widget);
  ProgressFromWidget(widget)->SetEnabled(gtk_widget_is_sensitive(widget));
  return ProgressFromWidget(widget)->OnButtonRelease(inside);
}

gboolean Press(GtkWidget*, GdkEventButton* event) {
  return event->button == GDK_BUTTON_PRIMARY;
}

void SizeAllocate(GtkWidget* widget, GtkAllocation* allocation) {
  GTK_WIDGET_CLASS(lumo_progress_ex_parent_class)->size_allocate(widget, allocation);
  ProgressFromWidget(widget)->SetSize(allocation->width, allocation->height);
}

void Dispose(GObject* object) {
  auto* self = reinterpret_cast<LumoProgressEx*>(object);
  if (self->timers) {
    for (auto& timer : *self->timers) g_source_remove(timer.second);
    self->timers->clear();
  }
  G_OBJECT_CLASS(lumo_progress_ex_parent_class)->dispose(object);
}

void Finalize(GObject* object) {
  auto* self = reinterpret_cast<LumoProgressEx*>(object);
  delete self->control;
  delete self->timers;
  G_OBJECT_CLASS(lumo_progress_ex_parent_class)->finalize(object);
}

void lumo_progress_ex_class_init(LumoProgressExClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = SetProperty;
  objectClass->get_property = GetProperty;
  objectClass->dispose = Dispose;
  objectClass->finalize = Finalize;
  for (guint i = 0; i < G_N_ELEMENTS(kAttributes); ++i) {
    g_object_class_install_property(
        objectClass, i + 1,
        g_param_spec_string(kAttributes[i], kAttributes[i], kAttributes[i], nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  }
  GtkWidgetClass* widgetClass = GTK_WIDGET_CLASS(klass);
  widgetClass->draw = Draw;
  widgetClass->enter_notify_event = Enter;
  widgetClass->leave_notify_event = Leave;
  widgetClass->button_press_event = Press;
  widgetClass->button_release_event = Release;
  widgetClass->size_allocate = SizeAllocate;
  clickSignal = g_signal_new("lumo-click", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr,
                             nullptr, nullptr, G_TYPE_NONE, 0);
}

gboolean TimerTick(gpointer data);

struct TimerData {
  LumoProgressEx* widget;
  int id;
};

void lumo_progress_ex_init(LumoProgressEx* self) {
  self->control = new CProgressUIEx();
  self->timers = new std::map<int, guint>();
  GtkWidget* widget = GTK_WIDGET(self);
  gtk_widget_add_events(widget, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                                    GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  gtk_widget_set_size_request(widget, -1, CProgressUIEx::kDefaultHeight);
  self->control->set_redraw([widget] {
    gtk_widget_queue_draw(widget);
    UpdateCursor(widget);
  });
  self->control->set_on_click([widget] { g_signal_emit(widget, clickSignal, 0); });
  self->control->set_timer_control([self](int id, bool start) {
    auto it = self->timers->find(id);
    if (it != self->timers->end()) {
      g_source_remove(it->second);
      self->timers->erase(it);
    }
    if (!start) return;
    auto* data = new TimerData{self, id};
    (*self->timers)[id] =
        g_timeout_add_full(G_PRIORITY_DEFAULT, CProgressUIEx::kTimerPeriodMs, TimerTick, data,
                           [](gpointer p) { delete static_cast<TimerData*>(p); });
  });
}

gboolean TimerTick(gpointer data) {
  auto* timer = static_cast<TimerData*>(data);
  LumoProgressEx* self = timer->widget;
  int id = timer->id;
  // The control may stop this very timer from OnTimer; the map tells whether it still runs.
  self->control->OnTimer(id);
  auto it = self->timers->find(id);
  if (it != self->timers->end() && it->second == g_source_get_id(g_main_current_source()))
    return G_SOURCE_CONTINUE;
  return G_SOURCE_REMOVE;
}

}  // namespace

GType ProgressWidgetType() {
  return lumo_progress_ex_get_type();
}

CProgressUIEx* ProgressFromWidget(GtkWidget* widget) {
  if (!widget || !G_TYPE_CHECK_INSTANCE_TYPE(widget, lumo_progress_ex_get_type())) return nullptr;
  return reinterpret_cast<LumoProgressEx*>(widget)->control;
}

}  // namespace lumo
