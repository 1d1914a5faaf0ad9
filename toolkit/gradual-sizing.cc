#include "toolkit/gradual-sizing.h"

#include <vector>

namespace lumo::toolkit {

namespace {

// Small enough that a click waits no longer than a frame for one step.
constexpr gint64 kStepUs = 4000;

struct Sizing {
  GWeakRef root;
  // Deepest first: a container comes after its children, so each is cheap once they are done.
  std::vector<GtkWidget*> widgets;
  std::size_t next = 0;
  std::function<void()> done;
};

void Collect(GtkWidget* widget, std::vector<GtkWidget*>* widgets) {
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child; child = child->next)
      Collect(GTK_WIDGET(child->data), widgets);
    g_list_free(children);
  }
  widgets->push_back(GTK_WIDGET(g_object_ref(widget)));
}

void Drop(gpointer data) {
  auto* sizing = static_cast<Sizing*>(data);
  for (GtkWidget* widget : sizing->widgets) g_object_unref(widget);
  g_weak_ref_clear(&sizing->root);
  delete sizing;
}

gboolean Step(gpointer data) {
  auto* sizing = static_cast<Sizing*>(data);
  auto* root = static_cast<GtkWidget*>(g_weak_ref_get(&sizing->root));
  if (!root) return G_SOURCE_REMOVE;
  bool gone = gtk_widget_in_destruction(root);
  g_object_unref(root);
  if (gone) return G_SOURCE_REMOVE;
  gint64 end = g_get_monotonic_time() + kStepUs;
  while (sizing->next < sizing->widgets.size()) {
    GtkWidget* widget = sizing->widgets[sizing->next++];
    // A widget taken out of the tree meanwhile has no size worth knowing.
    if (!gtk_widget_in_destruction(widget) && gtk_widget_get_parent(widget)) {
      GtkRequisition size;
      gtk_widget_get_preferred_size(widget, &size, nullptr);
      if (gtk_widget_get_realized(gtk_widget_get_toplevel(widget))) gtk_widget_realize(widget);
    }
    if (g_get_monotonic_time() >= end) return G_SOURCE_CONTINUE;
  }
  sizing->done();
  return G_SOURCE_REMOVE;
}

}  // namespace

void SizeGradually(GtkWidget* root, std::function<void()> done) {
  auto* sizing = new Sizing{{}, {}, 0, std::move(done)};
  g_weak_ref_init(&sizing->root, root);
  Collect(root, &sizing->widgets);
  // Below redraws and input: each step waits for the frame and the clicks before it.
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, Step, sizing, Drop);
}

}  // namespace lumo::toolkit
