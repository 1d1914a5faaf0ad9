#include "toolkit/controls.h"

#include <map>

#include "app/log.h"
#include "toolkit/gradual-sizing.h"
#include "toolkit/next-frame.h"

namespace lumo::toolkit {

namespace {

constexpr char kSilent[] = "lumo-silent";
constexpr char kUserData[] = "lumo-user-data";
constexpr char kItemControls[] = "lumo-item-controls";
constexpr char kRowCount[] = "lumo-row-count";
constexpr char kDeferredTab[] = "lumo-deferred-tab";

GtkWidget* RowChild(GtkListBoxRow* row) {
  return row ? gtk_bin_get_child(GTK_BIN(row)) : nullptr;
}

}  // namespace

void SetVisible(GtkWidget* control, bool visible) {
  if (!control) return;
  // Children keep their own visibility, as the skin set it.
  if (visible)
    gtk_widget_show(control);
  else
    gtk_widget_hide(control);
}

bool IsVisible(GtkWidget* control) {
  return control && gtk_widget_get_visible(control);
}

void SetEnabled(GtkWidget* control, bool enabled) {
  if (control) gtk_widget_set_sensitive(control, enabled);
}

void SetText(GtkWidget* control, const std::string& text) {
  if (!control) return;
  if (GTK_IS_LABEL(control))
    gtk_label_set_text(GTK_LABEL(control), text.c_str());
  else if (GTK_IS_BUTTON(control))
    gtk_button_set_label(GTK_BUTTON(control), text.c_str());
  else if (GTK_IS_ENTRY(control))
    gtk_entry_set_text(GTK_ENTRY(control), text.c_str());
}

std::string GetText(GtkWidget* control) {
  const char* text = nullptr;
  if (!control) return {};
  if (GTK_IS_LABEL(control))
    text = gtk_label_get_text(GTK_LABEL(control));
  else if (GTK_IS_BUTTON(control))
    text = gtk_button_get_label(GTK_BUTTON(control));
  else if (GTK_IS_ENTRY(control))
    text = gtk_entry_get_text(GTK_ENTRY(control));
  return text ? text : "";
}

void SetChecked(GtkToggleButton* control, bool checked, bool notify) {
  if (!control) return;
  if (!notify) g_object_set_data(G_OBJECT(control), kSilent, GINT_TO_POINTER(1));
  gtk_toggle_button_set_active(control, checked);
  if (!notify) g_object_set_data(G_OBJECT(control), kSilent, nullptr);
}

bool IsChecked(GtkToggleButton* control) {
  return control && gtk_toggle_button_get_active(control);
}

bool IsSilenced(GtkWidget* control) {
  return control && g_object_get_data(G_OBJECT(control), kSilent) != nullptr;
}

void SelectTab(GtkNotebook* tab, int page) {
  if (!tab) return;
  GtkWidget* child = gtk_notebook_get_nth_page(tab, page);
  // A notebook only switches to a shown page.
  if (child) {
    g_object_set_data(G_OBJECT(child), kDeferredTab, nullptr);
    gtk_widget_show(child);
  }
  gtk_notebook_set_current_page(tab, page);
}

void DeferOtherTabs(GtkNotebook* tab) {
  if (!tab) return;
  int current = gtk_notebook_get_current_page(tab);
  for (int i = 0; i < gtk_notebook_get_n_pages(tab); ++i) {
    GtkWidget* page = gtk_notebook_get_nth_page(tab, i);
    if (i == current || !gtk_widget_get_visible(page)) continue;
    g_object_set_data(G_OBJECT(page), kDeferredTab, GINT_TO_POINTER(1));
    gtk_widget_hide(page);
  }
  AfterNextFrame(GTK_WIDGET(tab), [tab] {
    for (int i = 0; i < gtk_notebook_get_n_pages(tab); ++i) {
      GtkWidget* page = gtk_notebook_get_nth_page(tab, i);
      if (!g_object_get_data(G_OBJECT(page), kDeferredTab)) continue;
      SizeGradually(page, [page] {
        // Shown meanwhile by a selection, which cleared the mark.
        if (!g_object_get_data(G_OBJECT(page), kDeferredTab)) return;
        g_object_set_data(G_OBJECT(page), kDeferredTab, nullptr);
        gtk_widget_show(page);
      });
    }
  });
}

int CurrentTab(GtkNotebook* tab) {
  return tab ? gtk_notebook_get_current_page(tab) : -1;
}

void SetPos(GtkWidget* control, int left, int top, int right, int bottom) {
  if (!control) return;
  gtk_widget_set_size_request(control, right - left, bottom - top);
  GtkWidget* parent = gtk_widget_get_parent(control);
  if (parent && GTK_IS_FIXED(parent)) {
    gtk_fixed_move(GTK_FIXED(parent), control, left, top);
    return;
  }
  gtk_widget_set_halign(control, GTK_ALIGN_START);
  gtk_widget_set_valign(control, GTK_ALIGN_START);
  gtk_widget_set_margin_start(control, left);
  gtk_widget_set_margin_top(control, top);
}

bool SetImageFile(GtkWidget* image, const std::string& path, int size) {
  if (!image || !GTK_IS_IMAGE(image)) return false;
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_scale(path.c_str(), size, size, TRUE, &error);
  if (!pixbuf) {
    Log::instance()->write("image %s does not decode: %s", path.c_str(), error->message);
    g_error_free(error);
    return false;
  }
  gtk_image_set_from_pixbuf(GTK_IMAGE(image), pixbuf);
  g_object_unref(pixbuf);
  return true;
}

void ListInsert(GtkListBox* list, int index, GtkWidget* item, const std::string& userData) {
  if (!list || !item) return;
  GtkWidget* row = gtk_list_box_row_new();
  gtk_container_add(GTK_CONTAINER(row), item);
  g_object_unref(item);
  SetItemUserData(item, userData);
  gtk_list_box_insert(list, row, index);
  gtk_widget_show(row);
}

void ListRemove(GtkListBox* list, GtkWidget* item) {
  if (!list || !item) return;
  GtkWidget* row = gtk_widget_get_parent(item);
  if (row && GTK_IS_LIST_BOX_ROW(row)) gtk_container_remove(GTK_CONTAINER(list), row);
}

void SetListRowCount(GtkListBox* list, int count) {
  // Stored as count + 1, so that zero rows is not the same as no count.
  if (list) g_object_set_data(G_OBJECT(list), kRowCount, GINT_TO_POINTER(count + 1));
}

void SetItemUserData(GtkWidget* item, const std::string& userData) {
  if (item) g_object_set_data_full(G_OBJECT(item), kUserData, g_strdup(userData.c_str()), g_free);
}

void SilenceWhile(GtkWidget* control, const std::function<void()>& change) {
  if (control) g_object_set_data(G_OBJECT(control), kSilent, GINT_TO_POINTER(1));
  change();
  if (control) g_object_set_data(G_OBJECT(control), kSilent, nullptr);
}

int ListCount(GtkListBox* list) {
  if (!list) return 0;
  if (int stored = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(list), kRowCount))) return stored - 1;
  GList* children = gtk_container_get_children(GTK_CONTAINER(list));
  int count = static_cast<int>(g_list_length(children));
  g_list_free(children);
  return count;
}

void ListSelect(GtkListBox* list, int index) {
  if (!list) return;
  GtkListBoxRow* row = gtk_list_box_get_row_at_index(list, index);
  if (row) gtk_list_box_select_row(list, row);
}

GtkWidget* ListCurrentItem(GtkListBox* list) {
  return list ? RowChild(gtk_list_box_get_selected_row(list)) : nullptr;
}

std::string ListCurrentUserData(GtkListBox* list) {
  return ItemUserData(ListCurrentItem(list));
}

std::string ItemUserData(GtkWidget* item) {
  const char* data =
      item ? static_cast<const char*>(g_object_get_data(G_OBJECT(item), kUserData)) : nullptr;
  return data ? data : "";
}

GtkWidget* ItemControl(GtkWidget* item, const std::string& name) {
  auto* controls = item ? static_cast<std::map<std::string, GtkWidget*>*>(
                              g_object_get_data(G_OBJECT(item), kItemControls))
                        : nullptr;
  if (!controls) return nullptr;
  auto it = controls->find(name);
  return it == controls->end() ? nullptr : it->second;
}

}  // namespace lumo::toolkit
