#include "ui/main-frame.h"

#include <gtk/gtk.h>

#include "app/application.h"
#include "app/dispatcher.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/ui-loop.h"

namespace lumo {

MainFrame::MainFrame() = default;

MainFrame::~MainFrame() {
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
    window_ = nullptr;
  }
  OnDestroy();
}

bool MainFrame::Create(std::string*) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  // The X class lets the window be found by its class as well as its title.
  gtk_window_set_wmclass(GTK_WINDOW(window_), kMainWindowClass, kMainWindowClass);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_title(GTK_WINDOW(window_), kMainWindowClass);
  gtk_window_set_default_size(GTK_WINDOW(window_), kWidth, kHeight);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroySignal), this);
  handle_ = platform::CreateMessageWindow(
      kMainWindowClass, kMainWindowClass,
      [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
        return HandleMessage(msg, w, l);
      });
  Init();
  return true;
}

void MainFrame::Init() {
  gtk_window_set_title(GTK_WINDOW(window_), kMainWindowTitle);
  platform::SetMessageWindowTitle(handle_, kMainWindowTitle);
  Dispatcher::instance()->Register(MSG_SHOW_MAIN, handle_,
                                   [this](platform::WParam, platform::LParam) { BringToFront(); });
}

bool MainFrame::HandleMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) {
  return Dispatcher::instance()->Dispatch(handle_, msg, wParam, lParam);
}

void MainFrame::CenterAndShow() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) {
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    gtk_window_move(GTK_WINDOW(window_), area.x + (area.width - kWidth) / 2,
                    area.y + (area.height - kHeight) / 2);
  }
  gtk_widget_show_all(window_);
  gtk_window_present(GTK_WINDOW(window_));
}

void MainFrame::BringToFront() {
  if (!window_) return;
  gtk_widget_show(window_);
  gtk_window_deiconify(GTK_WINDOW(window_));
  gtk_window_present_with_time(GTK_WINDOW(window_), GDK_CURRENT_TIME);
  Log::instance()->write("main window brought to front.");
}

void MainFrame::Close() {
  if (window_) gtk_widget_destroy(window_);
}

void MainFrame::OnDestroySignal(GtkWidget*, void* self) {
  auto* frame = static_cast<MainFrame*>(self);
  frame->window_ = nullptr;
  frame->OnDestroy();
  Log::instance()->write("main window destroyed.");
  platform::QuitUiLoop(0);
}

void MainFrame::OnDestroy() {
  if (!handle_) return;
  Dispatcher::instance()->Unregister(MSG_SHOW_MAIN, handle_);
  platform::DestroyMessageWindow(handle_);
  handle_ = 0;
}

}  // namespace lumo
