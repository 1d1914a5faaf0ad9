#include "toolkit/skin-window.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include <webkit2/webkit2.h>

#include "app/log.h"
#include "platform/ui-loop.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/item-template.h"
#include "toolkit/toolkit.h"

namespace lumo::toolkit {

namespace {

constexpr char kRootObject[] = "root";
constexpr char kCaptionObject[] = "caption";
constexpr int kResizeBorder = 6;
constexpr char kItemControls[] = "lumo-item-controls";

// Live windows in creation order, by class name; signal handlers check here first because a
// widget may outlive its window object for a moment during teardown.
std::map<const SkinWindow*, std::pair<unsigned, std::string>>& LiveWindows() {
  static std::map<const SkinWindow*, std::pair<unsigned, std::string>> windows;
  return windows;
}
unsigned creationCounter = 0;

// The resize edge under a point of a window of the given size; false away from the edges.
bool EdgeAt(double x, double y, int width, int height, GdkWindowEdge* edge) {
  bool left = x < kResizeBorder, right = x >= width - kResizeBorder;
  bool upper = y < kResizeBorder, lower = y >= height - kResizeBorder;
  if (!left && !right && !upper && !lower) return false;
  *edge = upper   ? (left    ? GDK_WINDOW_EDGE_NORTH_WEST
                     : right ? GDK_WINDOW_EDGE_NORTH_EAST
                             : GDK_WINDOW_EDGE_NORTH)
          : lower ? (left    ? GDK_WINDOW_EDGE_SOUTH_WEST
                     : right ? GDK_WINDOW_EDGE_SOUTH_EAST
                             : GDK_WINDOW_EDGE_SOUTH)
          : left  ? GDK_WINDOW_EDGE_WEST
                  : GDK_WINDOW_EDGE_EAST;
  return true;
}

struct Hook {
  SkinWindow* window;
  GtkWidget* item;
};

std::string NameOf(gpointer object) {
  const char* name = gtk_buildable_get_name(GTK_BUILDABLE(object));
  return name ? name : "";
}

void Deliver(Hook* hook, const char* type, GtkWidget* control, double x = 0, double y = 0,
             const std::string& text = {}) {
  if (!SkinWindow::IsAlive(hook->window) || IsSilenced(control)) return;
  Notification n{type, NameOf(control), control, hook->item, x, y, text};
  hook->window->DispatchNotify(n);
}

void OnClicked(GtkWidget* control, Hook* hook) {
  Deliver(hook, "click", control);
}

void OnToggled(GtkToggleButton* control, Hook* hook) {
  // An option reports the one that became selected, not the one that lost it.
  if (GTK_IS_RADIO_BUTTON(control) && !gtk_toggle_button_get_active(control)) return;
  Deliver(hook, "selectchanged", GTK_WIDGET(control));
}

void OnRowSelected(GtkListBox* list, GtkListBoxRow* row, Hook* hook) {
  if (row) Deliver(hook, "itemselect", GTK_WIDGET(list));
}

gboolean OnListButton(GtkWidget* list, GdkEventButton* event, Hook* hook) {
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_SECONDARY) return FALSE;
  GtkListBoxRow* row = gtk_list_box_get_row_at_y(GTK_LIST_BOX(list), static_cast<int>(event->y));
  if (row) gtk_list_box_select_row(GTK_LIST_BOX(list), row);
  Deliver(hook, "menu", list, event->x_root, event->y_root);
  return TRUE;
}

gboolean OnLink(GtkLabel* label, const char* uri, Hook* hook) {
  Deliver(hook, "link", GTK_WIDGET(label), 0, 0, uri ? uri : "");
  return TRUE;
}

// A button that shows only an image is named by its tooltip, so that screen readers (and
// the UI tests, which find controls by accessible name) can tell it from the others.
void NameIconButton(GtkWidget* button) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
  gchar* tip = gtk_widget_get_tooltip_text(button);
  if (tip && child && GTK_IS_IMAGE(child))
    atk_object_set_name(gtk_widget_get_accessible(button), tip);
  g_free(tip);
}

// GTK asks for tooltips of windows below a modal one too, and would draw them over it.
gboolean OnQueryTooltip(GtkWidget* widget, int, int, gboolean, GtkTooltip*, gpointer) {
  GtkWidget* grab = gtk_grab_get_current();
  if (!grab || gtk_widget_get_toplevel(grab) == gtk_widget_get_toplevel(widget)) return FALSE;
  g_signal_stop_emission_by_name(widget, "query-tooltip");
  return FALSE;
}

void FreeHook(gpointer hook, GClosure*) {
  delete static_cast<Hook*>(hook);
}

template <typename Fn>
void Connect(GObject* object, const char* signal, Fn fn, SkinWindow* window, GtkWidget* item) {
  g_signal_connect_data(object, signal, G_CALLBACK(fn), new Hook{window, item}, FreeHook,
                        static_cast<GConnectFlags>(0));
}

GtkWidget* CheckKind(GObject* object, GType type, const std::string& name, const char* kind,
                     const std::string& skin) {
  if (!object) {
    Log::instance()->write("skin %s has no control %s.", skin.c_str(), name.c_str());
    return nullptr;
  }
  if (!G_TYPE_CHECK_INSTANCE_TYPE(object, type)) {
    Log::instance()->write("skin %s: control %s is not a %s.", skin.c_str(), name.c_str(), kind);
    return nullptr;
  }
  return GTK_WIDGET(object);
}

}  // namespace

SkinWindow::SkinWindow() {
  LUMO_CHECK_UI_THREAD();
}

SkinWindow::~SkinWindow() {
  LUMO_CHECK_UI_THREAD();
  LiveWindows().erase(this);
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
    window_ = nullptr;
  }
  if (handle_) platform::DestroyMessageWindow(handle_);
  if (builder_) g_object_unref(builder_);
}

SkinWindow* SkinWindow::FindByClass(const std::string& className) {
  LUMO_CHECK_UI_THREAD();
  const SkinWindow* found = nullptr;
  unsigned newest = 0;
  for (const auto& [window, info] : LiveWindows()) {
    if (info.second == className && info.first >= newest) {
      newest = info.first;
      found = window;
    }
  }
  return const_cast<SkinWindow*>(found);
}

bool SkinWindow::IsAlive(const SkinWindow* window) {
  LUMO_CHECK_UI_THREAD();
  return LiveWindows().count(window) != 0;
}

bool SkinWindow::Create(SkinWindow* parent, const std::string& title, const WindowStyle& style,
                        int width, int height) {
  LUMO_CHECK_UI_THREAD();
  className_ = GetWindowClassName();
  style_ = style;
  GtkWidget* root = nullptr;
  if (!BuildSkin(GetSkinFile(), &builder_, &root)) return false;
  window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  // The X class lets the window be found by its class as well as its title.
  gtk_window_set_wmclass(window_, className_.c_str(), className_.c_str());
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_title(window_, title.c_str());
  gtk_window_set_default_size(window_, width, height);
  gtk_window_set_decorated(window_, FALSE);
  gtk_style_context_add_class(gtk_widget_get_style_context(GTK_WIDGET(window_)), "lumo-window");
  gtk_window_set_resizable(window_, style.resizable);
  if (style.minWidth > 0 && style.minHeight > 0) {
    GdkGeometry hints{};
    hints.min_width = style.minWidth;
    hints.min_height = style.minHeight;
    gtk_window_set_geometry_hints(window_, nullptr, &hints, GDK_HINT_MIN_SIZE);
  }
  gtk_window_set_skip_taskbar_hint(window_, !style.showInTaskbar || style.popup);
  if (style.popup) {
    gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_POPUP_MENU);
    gtk_window_set_keep_above(window_, TRUE);
  }
  if (style.dialog) gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_DIALOG);
  if (parent && parent->window_) gtk_window_set_transient_for(window_, parent->window_);
  root_ = gtk_event_box_new();
  gtk_widget_set_name(root_, "lumo-frame");
  gtk_container_add(GTK_CONTAINER(root_), root);
  gtk_container_add(GTK_CONTAINER(window_), root_);
  // Shown with its window: a hidden frame would measure nothing before the window is shown.
  gtk_widget_show(root_);
  WireControls(builder_, nullptr);
  ConnectSignals();
  handle_ = platform::CreateMessageWindow(
      className_, title, [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
        return DispatchCustomMessage(msg, w, l);
      });
  LiveWindows()[this] = {++creationCounter, className_};
  InitWindow();
  return true;
}

bool SkinWindow::BuildSkin(const std::string& file, GtkBuilder** builder, GtkWidget** root) {
  std::string text;
  if (!LoadSkinText(file, &text)) return false;
  text = RewriteCustomClasses(text);
  *builder = gtk_builder_new();
  GError* error = nullptr;
  if (!gtk_builder_add_from_string(*builder, text.c_str(), text.size(), &error)) {
    Log::instance()->write("skin %s does not build: %s", file.c_str(), error->message);
    g_error_free(error);
    g_object_unref(*builder);
    *builder = nullptr;
    return false;
  }
  return FindRoot(file, builder, root);
}

// Drops the builder when the skin has no usable root.
bool SkinWindow::FindRoot(const std::string& file, GtkBuilder** builder, GtkWidget** root) {
  GObject* object = gtk_builder_get_object(*builder, kRootObject);
  if (!object || !GTK_IS_WIDGET(object) || GTK_IS_WINDOW(object)) {
    Log::instance()->write("skin %s has no root control.", file.c_str());
    g_object_unref(*builder);
    *builder = nullptr;
    return false;
  }
  *root = GTK_WIDGET(object);
  return true;
}

// The builder callback: a class the window makes itself is renamed to its widget type, in
// any letter case of the skin's class name.
std::string SkinWindow::RewriteCustomClasses(const std::string& text) {
  static const std::string kAttribute = "class=\"";
  std::string out;
  size_t from = 0;
  for (size_t at = text.find(kAttribute); at != std::string::npos;
       at = text.find(kAttribute, from)) {
    size_t start = at + kAttribute.size();
    size_t end = text.find('"', start);
    if (end == std::string::npos) break;
    std::string className = text.substr(start, end - start);
    GType type = CreateControl(className);
    out.append(text, from, start - from);
    out += type ? g_type_name(type) : className;
    from = end;
  }
  out.append(text, from, std::string::npos);
  return out;
}

void SkinWindow::WireControls(GtkBuilder* builder, GtkWidget* item) {
  GSList* objects = gtk_builder_get_objects(builder);
  for (GSList* it = objects; it; it = it->next) {
    GObject* object = G_OBJECT(it->data);
    if (!GTK_IS_WIDGET(object)) continue;
    std::string name = NameOf(object);
    // Named controls are styled by their name in the theme.
    if (!name.empty() && name.rfind("___", 0) != 0)
      gtk_widget_set_name(GTK_WIDGET(object), name.c_str());
    if (GTK_IS_BUTTON(object)) NameIconButton(GTK_WIDGET(object));
    // Every control: some get their tooltip later, from the code.
    g_signal_connect(object, "query-tooltip", G_CALLBACK(OnQueryTooltip), nullptr);
    if (GTK_IS_TOGGLE_BUTTON(object))
      Connect(object, "toggled", OnToggled, this, item);
    else if (GTK_IS_BUTTON(object))
      Connect(object, "clicked", OnClicked, this, item);
    else if (GTK_IS_LIST_BOX(object)) {
      Connect(object, "row-selected", OnRowSelected, this, item);
      gtk_widget_add_events(GTK_WIDGET(object), GDK_BUTTON_PRESS_MASK);
      Connect(object, "button-press-event", OnListButton, this, item);
    } else if (GTK_IS_LABEL(object)) {
      Connect(object, "activate-link", OnLink, this, item);
    } else if (g_signal_lookup("lumo-click", G_OBJECT_TYPE(object))) {
      Connect(object, "lumo-click", OnClicked, this, item);
    }
    if (name == kCaptionObject) {
      gtk_widget_add_events(GTK_WIDGET(object), GDK_BUTTON_PRESS_MASK | GDK_BUTTON1_MOTION_MASK);
      g_signal_connect(object, "button-press-event", G_CALLBACK(OnCaptionButton), this);
      g_signal_connect(object, "motion-notify-event", G_CALLBACK(OnCaptionMotion), this);
    }
  }
  g_slist_free(objects);
}

void SkinWindow::ConnectSignals() {
  GtkWidget* widget = GTK_WIDGET(window_);
  g_signal_connect(widget, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(widget, "destroy", G_CALLBACK(OnDestroySignal), this);
  g_signal_connect(widget, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(widget, "focus-out-event", G_CALLBACK(OnFocusOutEvent), this);
  if (style_.resizable) {
    GtkGesture* edges = gtk_gesture_multi_press_new(widget);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(edges), GTK_PHASE_CAPTURE);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(edges), GDK_BUTTON_PRIMARY);
    g_signal_connect(edges, "pressed", G_CALLBACK(OnEdgePressed), this);
    // The window holds the gesture for its own life.
    g_object_set_data_full(G_OBJECT(widget), "lumo-edges", edges, g_object_unref);
  }
  g_signal_connect_swapped(root_, "size-allocate",
                           G_CALLBACK(+[](SkinWindow* self) { self->ReportSize(); }), this);
}

GtkWidget* SkinWindow::BuildItem(const std::string& skinFile) {
  LUMO_CHECK_UI_THREAD();
  std::unique_ptr<ItemTemplate>& skin = itemTemplates_[skinFile];
  if (!skin) {
    std::string text;
    if (!LoadSkinText(skinFile, &text)) return nullptr;
    skin = std::make_unique<ItemTemplate>(RewriteCustomClasses(text));
  }
  GError* error = nullptr;
  GtkBuilder* builder = skin->Build(&error);
  if (!builder) {
    Log::instance()->write("skin %s does not build: %s", skinFile.c_str(), error->message);
    g_error_free(error);
    return nullptr;
  }
  GtkWidget* root = nullptr;
  if (!FindRoot(skinFile, &builder, &root)) return nullptr;
  auto* controls = new std::map<std::string, GtkWidget*>();
  GSList* objects = gtk_builder_get_objects(builder);
  for (GSList* it = objects; it; it = it->next) {
    if (GTK_IS_WIDGET(it->data)) (*controls)[NameOf(it->data)] = GTK_WIDGET(it->data);
  }
  g_slist_free(objects);
  g_object_set_data_full(G_OBJECT(root), kItemControls, controls, [](gpointer map) {
    delete static_cast<std::map<std::string, GtkWidget*>*>(map);
  });
  WireControls(builder, root);
  // The caller's reference keeps the item once the builder is gone.
  g_object_ref(root);
  g_object_unref(builder);
  return root;
}

void SkinWindow::DispatchNotify(const Notification& notification) {
  LUMO_CHECK_UI_THREAD();
  Notify(notification);
}

void SkinWindow::Notify(const Notification& notification) {
  if (notification.type == "click") OnClick(notification);
}

bool SkinWindow::DispatchCustomMessage(std::uint32_t msg, platform::WParam wParam,
                                       platform::LParam lParam) {
  LUMO_CHECK_UI_THREAD();
  return HandleCustomMessage(msg, wParam, lParam);
}

bool SkinWindow::OnEscape() {
  Close(0);
  return true;
}

GtkWidget* SkinWindow::FindControl(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return CheckKind(object, GTK_TYPE_WIDGET, name, "control", className_);
}

GtkButton* SkinWindow::FindButton(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  if (object && GTK_IS_TOGGLE_BUTTON(object)) object = nullptr;
  return GTK_BUTTON(CheckKind(object, GTK_TYPE_BUTTON, name, "button", className_));
}

GtkToggleButton* SkinWindow::FindCheckBox(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_TOGGLE_BUTTON(
      CheckKind(object, GTK_TYPE_TOGGLE_BUTTON, name, "check box", className_));
}

GtkToggleButton* SkinWindow::FindOption(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_TOGGLE_BUTTON(CheckKind(object, GTK_TYPE_RADIO_BUTTON, name, "option", className_));
}

GtkLabel* SkinWindow::FindLabel(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_LABEL(CheckKind(object, GTK_TYPE_LABEL, name, "label", className_));
}

GtkEntry* SkinWindow::FindEdit(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_ENTRY(CheckKind(object, GTK_TYPE_ENTRY, name, "edit", className_));
}

GtkNotebook* SkinWindow::FindTabLayout(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_NOTEBOOK(CheckKind(object, GTK_TYPE_NOTEBOOK, name, "tab layout", className_));
}

GtkListBox* SkinWindow::FindList(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return GTK_LIST_BOX(CheckKind(object, GTK_TYPE_LIST_BOX, name, "list", className_));
}

Browser* SkinWindow::FindBrowser(const std::string& name) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  GtkWidget* view = CheckKind(object, WEBKIT_TYPE_WEB_VIEW, name, "browser", className_);
  return view ? Browser::FromView(WEBKIT_WEB_VIEW(view)) : nullptr;
}

GtkWidget* SkinWindow::FindCustom(const std::string& name, GType type) const {
  LUMO_CHECK_UI_THREAD();
  GObject* object = builder_ ? gtk_builder_get_object(builder_, name.c_str()) : nullptr;
  return CheckKind(object, type, name, g_type_name(type), className_);
}

void SkinWindow::CenterWindow() {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return;
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return;
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  int width = 0, height = 0;
  gtk_window_get_size(window_, &width, &height);
  // A window not shown yet reports its default size; it will grow to what its skin needs.
  GtkRequisition needed;
  gtk_widget_get_preferred_size(GTK_WIDGET(window_), &needed, nullptr);
  width = std::max(width, needed.width);
  height = std::max(height, needed.height);
  gtk_window_move(window_, area.x + (area.width - width) / 2, area.y + (area.height - height) / 2);
}

void SkinWindow::ShowWindow(bool activate) {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return;
  // Each control keeps the visibility its skin gave it; only the frame is shown here.
  gtk_widget_show(root_);
  gtk_widget_show(GTK_WIDGET(window_));
  if (activate) gtk_window_present(window_);
}

void SkinWindow::HideWindow() {
  LUMO_CHECK_UI_THREAD();
  if (window_) gtk_widget_hide(GTK_WIDGET(window_));
}

int SkinWindow::ShowModal() {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return -1;
  gtk_window_set_modal(window_, TRUE);
  ShowWindow(true);
  // A tooltip shown when the window opened (the button that opened it) goes now.
  gtk_tooltip_trigger_tooltip_query(gtk_widget_get_display(GTK_WIDGET(window_)));
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  modalLoop_ = loop;
  modalResult_ = 0;
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  // The window may be gone (and this object with it) only after its final message, which
  // modal windows of this toolkit do not use to delete themselves.
  return modalResult_;
}

void SkinWindow::Close(int code) {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return;
  modalResult_ = code;
  if (!OnClose()) return;
  gtk_widget_destroy(GTK_WIDGET(window_));
}

bool SkinWindow::CreatePopup(const std::string& title, int x, int y) {
  LUMO_CHECK_UI_THREAD();
  WindowStyle style;
  style.resizable = false;
  style.popup = true;
  if (!Create(nullptr, title, style, 100, 100)) return false;
  MoveTo(x, y);
  return true;
}

void SkinWindow::CloseSoon(int code) {
  LUMO_CHECK_UI_THREAD();
  if (!window_ || closingSoon_) return;
  closingSoon_ = true;
  modalResult_ = code;
  g_idle_add(
      [](gpointer self) {
        auto* window = static_cast<SkinWindow*>(self);
        if (IsAlive(window)) window->Close(window->modalResult_);
        return G_SOURCE_REMOVE;
      },
      this);
}

void SkinWindow::MoveTo(int x, int y) {
  LUMO_CHECK_UI_THREAD();
  if (window_) gtk_window_move(window_, x, y);
}

void SkinWindow::SetTitle(const std::string& title) {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return;
  gtk_window_set_title(window_, title.c_str());
  platform::SetMessageWindowTitle(handle_, title);
}

void SkinWindow::SetIcon(const std::string& imageName) {
  LUMO_CHECK_UI_THREAD();
  std::string path = ImagePath(imageName);
  if (window_ && !path.empty()) gtk_window_set_icon_from_file(window_, path.c_str(), nullptr);
}

void SkinWindow::Maximize() {
  LUMO_CHECK_UI_THREAD();
  if (window_) gtk_window_maximize(window_);
}
void SkinWindow::Restore() {
  LUMO_CHECK_UI_THREAD();
  if (!window_) return;
  gtk_window_unmaximize(window_);
  gtk_window_deiconify(window_);
}
void SkinWindow::Minimize() {
  LUMO_CHECK_UI_THREAD();
  if (window_) gtk_window_iconify(window_);
}
bool SkinWindow::IsMaximized() const {
  LUMO_CHECK_UI_THREAD();
  return window_ && gtk_window_is_maximized(window_);
}

void SkinWindow::AttachShadow() {
  LUMO_CHECK_UI_THREAD();
  GdkScreen* screen = window_ ? gtk_widget_get_screen(GTK_WIDGET(window_)) : nullptr;
  // Without a compositor a shadow would be an opaque frame: leave the window as it is.
  if (!screen || !gdk_screen_is_composited(screen)) return;
  GdkVisual* visual = gdk_screen_get_rgba_visual(screen);
  if (!visual) return;
  gtk_widget_set_visual(GTK_WIDGET(window_), visual);
  gtk_widget_set_app_paintable(GTK_WIDGET(window_), TRUE);
  gtk_style_context_add_class(gtk_widget_get_style_context(root_), "lumo-shadow");
}

gboolean SkinWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  return static_cast<SkinWindow*>(self)->OnClose() ? FALSE : TRUE;
}

void SkinWindow::OnDestroySignal(GtkWidget*, gpointer self) {
  static_cast<SkinWindow*>(self)->Destroyed();
}

void SkinWindow::Destroyed() {
  window_ = nullptr;
  if (modalLoop_) {
    g_main_loop_quit(modalLoop_);
    modalLoop_ = nullptr;
  }
  LiveWindows().erase(this);
  OnDestroy();
  if (handle_) platform::DestroyMessageWindow(handle_);
  handle_ = 0;
  // Last: a window that owns itself deletes itself here.
  OnFinalMessage();
}

gboolean SkinWindow::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  auto* window = static_cast<SkinWindow*>(self);
  GdkWindowState state = event->new_window_state;
  SizeType type = SizeType::kRestored;
  if (state & GDK_WINDOW_STATE_ICONIFIED)
    type = SizeType::kMinimized;
  else if (state & GDK_WINDOW_STATE_MAXIMIZED)
    type = SizeType::kMaximized;
  if (type != window->sizeType_) {
    window->sizeType_ = type;
    window->lastWidth_ = -1;
    window->ReportSize();
  }
  return FALSE;
}

void SkinWindow::ReportSize() {
  if (!root_ || sizePending_) return;
  // Controls placed from OnSize need a layout pass of their own, which GTK does not start
  // from inside an allocation: report from an idle callback instead.
  sizePending_ = true;
  g_idle_add(
      [](gpointer self) {
        auto* window = static_cast<SkinWindow*>(self);
        if (IsAlive(window)) {
          window->sizePending_ = false;
          window->ReportSizeNow();
        }
        return G_SOURCE_REMOVE;
      },
      this);
}

void SkinWindow::ReportSizeNow() {
  if (!root_) return;
  int width = gtk_widget_get_allocated_width(root_);
  int height = gtk_widget_get_allocated_height(root_);
  if (width == lastWidth_ && height == lastHeight_) return;
  lastWidth_ = width;
  lastHeight_ = height;
  OnSize(sizeType_, width, height);
}

gboolean SkinWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  return static_cast<SkinWindow*>(self)->OnEscape() ? TRUE : FALSE;
}

gboolean SkinWindow::OnFocusOutEvent(GtkWidget*, GdkEventFocus*, gpointer self) {
  static_cast<SkinWindow*>(self)->OnFocusOut();
  return FALSE;
}

// The window has no system frame: its edges resize it. Children such as the browsers take
// their own button presses, so the edges are watched in the capture phase, before any child
// sees the press.
void SkinWindow::OnEdgePressed(GtkGestureMultiPress* gesture, int, double x, double y,
                               gpointer self) {
  auto* window = static_cast<SkinWindow*>(self);
  GdkEventSequence* sequence = gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(gesture));
  const GdkEvent* event = gtk_gesture_get_last_event(GTK_GESTURE(gesture), sequence);
  GtkWidget* top = window->window_ ? GTK_WIDGET(window->window_) : nullptr;
  GdkWindowEdge edge;
  if (!IsAlive(window) || !top || !event || window->IsMaximized() ||
      !EdgeAt(x, y, gtk_widget_get_allocated_width(top), gtk_widget_get_allocated_height(top),
              &edge)) {
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
    return;
  }
  gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
  double rootX = 0, rootY = 0;
  gdk_event_get_root_coords(event, &rootX, &rootY);
  gtk_window_begin_resize_drag(window->window_, edge, GDK_BUTTON_PRIMARY, static_cast<int>(rootX),
                               static_cast<int>(rootY), gdk_event_get_time(event));
}

// The caption moves the window once the pointer is dragged past the drag threshold, so the
// presses of a double click stay with the window and its second press toggles maximised.
gboolean SkinWindow::OnCaptionButton(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* window = static_cast<SkinWindow*>(self);
  if (!IsAlive(window) || !window->window_ || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  window->moveArmed_ = event->type == GDK_BUTTON_PRESS;
  window->pressX_ = event->x_root;
  window->pressY_ = event->y_root;
  if (event->type == GDK_2BUTTON_PRESS && window->style_.resizable) {
    if (window->IsMaximized())
      window->Restore();
    else
      window->Maximize();
  }
  return TRUE;
}

gboolean SkinWindow::OnCaptionMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self) {
  auto* window = static_cast<SkinWindow*>(self);
  if (!IsAlive(window) || !window->window_ || !window->moveArmed_) return FALSE;
  if (!(event->state & GDK_BUTTON1_MASK)) {
    window->moveArmed_ = false;
    return FALSE;
  }
  int threshold = 8;
  g_object_get(gtk_widget_get_settings(widget), "gtk-dnd-drag-threshold", &threshold, nullptr);
  if (std::abs(event->x_root - window->pressX_) < threshold &&
      std::abs(event->y_root - window->pressY_) < threshold)
    return TRUE;
  window->moveArmed_ = false;
  gtk_window_begin_move_drag(window->window_, GDK_BUTTON_PRIMARY, static_cast<int>(window->pressX_),
                             static_cast<int>(window->pressY_), event->time);
  return TRUE;
}

}  // namespace lumo::toolkit
