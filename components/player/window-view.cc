#include <algorithm>
#include <functional>

#include <gtk/gtk.h>

#include "components/player/player-view.h"

namespace runbox {

namespace {

// Runs `fn` on the GTK thread.
void OnGtkThread(std::function<void()> fn) {
  auto* job = new std::function<void()>(std::move(fn));
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* call = static_cast<std::function<void()>*>(data);
        (*call)();
        delete call;
        return G_SOURCE_REMOVE;
      },
      job);
}

// Dark, as Lumo's own windows are.
void UseLumoLook() {
  g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
  static const char kCss[] =
      "* { font-family: \"Droid Sans Fallback\", sans-serif; }"
      "window, list, scrolledwindow { background-color: #12141b; color: #e9ecf2; }"
      "list row { padding: 4px 6px; }";
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

// At the screen's right edge, mostly beside Lumo's centred window: at the corner the player
// lay over Lumo's title bar, and centred it would lie behind Lumo.
void PlaceBesideLumo(GtkWindow* window, int width, int height) {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return;
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  constexpr int kGap = 16;
  gtk_window_move(window, area.x + std::max(0, area.width - width - kGap),
                  area.y + std::max(0, (area.height - height) / 2));
}

// The player's window: the VM's state, the installed games, the game that was launched last
// and the splash Lumo asks for while the VM boots.
class WindowView final : public PlayerView {
 public:
  WindowView() {
    UseLumoLook();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Runbox");
    gtk_window_set_default_size(GTK_WINDOW(window_), 360, 420);
    PlaceBesideLumo(GTK_WINDOW(window_), 360, 420);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    state_ = gtk_label_new("模拟器：已停止");
    splashImage_ = gtk_image_new();
    splashName_ = gtk_label_new("");
    playing_ = gtk_label_new("正在运行：无");
    games_ = gtk_list_box_new();
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scroller), games_);
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_box_pack_start(GTK_BOX(box), state_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), splashImage_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), splashName_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), playing_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), gtk_label_new("已安装的游戏"), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), scroller, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    // Closing the window ends the player, as closing an emulator does.
    g_signal_connect(window_, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window_);
  }

  void ShowVmState(VmState state, bool connected) override {
    static const char* const kTexts[] = {"已停止", "正在启动", "运行中", "启动失败"};
    std::string text = std::string("模拟器：") + kTexts[static_cast<int>(state)] +
                       (connected ? "（已连接 Lumo）" : "");
    OnGtkThread([this, text] { gtk_label_set_text(GTK_LABEL(state_), text.c_str()); });
  }

  void ShowPackages(const std::vector<InstalledPackage>& packages) override {
    OnGtkThread([this, packages] {
      GList* rows = gtk_container_get_children(GTK_CONTAINER(games_));
      for (GList* row = rows; row; row = row->next) gtk_widget_destroy(GTK_WIDGET(row->data));
      g_list_free(rows);
      for (const InstalledPackage& package : packages) {
        std::string text = package.label + "  (" + package.name + ")";
        gtk_list_box_insert(GTK_LIST_BOX(games_), gtk_label_new(text.c_str()), -1);
      }
      gtk_widget_show_all(games_);
    });
  }

  void ShowLaunched(const InstalledPackage& package) override {
    std::string text = "正在运行：" + package.label;
    OnGtkThread([this, text] {
      gtk_label_set_text(GTK_LABEL(playing_), text.c_str());
      gtk_label_set_text(GTK_LABEL(splashName_), "");
      gtk_image_clear(GTK_IMAGE(splashImage_));
      // The game is what the user asked to see: its window comes in front of Lumo's.
      gtk_window_present(GTK_WINDOW(window_));
    });
  }

  void ShowSplash(const std::string& iconPath, const std::string& appName) override {
    OnGtkThread([this, iconPath, appName] {
      GdkPixbuf* icon = gdk_pixbuf_new_from_file_at_size(iconPath.c_str(), 96, 96, nullptr);
      if (icon) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(splashImage_), icon);
        g_object_unref(icon);
      }
      std::string text = "正在启动 " + appName + "...";
      gtk_label_set_text(GTK_LABEL(splashName_), text.c_str());
      gtk_window_present(GTK_WINDOW(window_));
    });
  }

  void Quit() override {
    OnGtkThread([] { gtk_main_quit(); });
  }
  void Run() override { gtk_main(); }

 private:
  GtkWidget* window_;
  GtkWidget* state_;
  GtkWidget* splashImage_;
  GtkWidget* splashName_;
  GtkWidget* playing_;
  GtkWidget* games_;
};

}  // namespace

std::unique_ptr<PlayerView> CreateWindowView(int* argc, char*** argv) {
  if (!gtk_init_check(argc, argv)) return nullptr;
  return std::make_unique<WindowView>();
}

}  // namespace runbox
