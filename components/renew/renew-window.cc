#include "components/renew/renew-window.h"

#include <cstdio>

#include "platform/ui-loop.h"

namespace lumo::renew {

namespace {

constexpr std::uint32_t kQuitNow = 2024;
constexpr int kWidth = 460;
constexpr int kHeight = 220;

GtkWidget* NewLabel(bool wrap) {
  GtkWidget* label = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), wrap);
  gtk_label_set_selectable(GTK_LABEL(label), FALSE);
  return label;
}

// The look of Lumo's own windows: dark, with the blue-to-violet accent on the main button.
void UseLumoLook(GtkWidget* window, GtkWidget* headline, GtkWidget* updateButton) {
  g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
  static const char kCss[] =
      "* { font-family: \"Droid Sans Fallback\", sans-serif; }"
      "window.lumo-renew { background-color: #171a23; color: #e9ecf2; }"
      ".lumo-renew label { color: #c9cfdc; }"
      ".lumo-renew .headline { color: #ffffff; font-size: 16px; font-weight: 700; }"
      ".lumo-renew button { background-image: none; background-color: transparent;"
      " box-shadow: none; text-shadow: none; border: 1px solid #3a4159; border-radius: 16px;"
      " color: #c9cfdc; min-width: 100px; padding: 5px 0; }"
      ".lumo-renew button:hover { border-color: #6a6dff; }"
      ".lumo-renew button.accent { border: none; color: #ffffff;"
      " background-image: linear-gradient(90deg, #4f7cff, #8f5cff); }"
      ".lumo-renew progressbar trough { background-color: #262b3b; border: none; }"
      ".lumo-renew progressbar progress { background-image: linear-gradient(90deg, #4f7cff,"
      " #8f5cff); border: none; }";
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  gtk_style_context_add_class(gtk_widget_get_style_context(window), "lumo-renew");
  gtk_style_context_add_class(gtk_widget_get_style_context(headline), "headline");
  gtk_style_context_add_class(gtk_widget_get_style_context(updateButton), "accent");
}

// Text from the store is shown as text, whatever bytes it holds.
std::string Displayable(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  std::string result = valid;
  g_free(valid);
  return result;
}

}  // namespace

RenewWindow::RenewWindow(std::string programDir) : programDir_(std::move(programDir)) {}

RenewWindow::~RenewWindow() {
  if (checker_.joinable()) checker_.join();
  updater_.reset();
  if (handle_) platform::DestroyMessageWindow(handle_);
}

void RenewWindow::Show() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_window_set_wmclass(GTK_WINDOW(window_), kClassName, kClassName);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_title(GTK_WINDOW(window_), kTitle);
  gtk_window_set_default_size(GTK_WINDOW(window_), kWidth, kHeight);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(box), 20);
  headline_ = NewLabel(false);
  detail_ = NewLabel(true);
  progress_ = gtk_progress_bar_new();
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  updateButton_ = gtk_button_new_with_label("立即更新");
  closeButton_ = gtk_button_new_with_label("关闭");
  UseLumoLook(window_, headline_, updateButton_);
  gtk_box_pack_end(GTK_BOX(buttons), closeButton_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(buttons), updateButton_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), headline_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), detail_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), progress_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(box), buttons, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  g_signal_connect_swapped(updateButton_, "clicked",
                           G_CALLBACK(+[](RenewWindow* self) { self->OnUpdateClicked(); }), this);
  g_signal_connect_swapped(closeButton_, "clicked",
                           G_CALLBACK(+[](RenewWindow* self) { self->Quit(); }), this);
  // The window's own close goes the same way as the close button, and not while installing.
  g_signal_connect_swapped(window_, "delete-event", G_CALLBACK(+[](RenewWindow* self) -> gboolean {
                             self->Quit();
                             return TRUE;
                           }),
                           this);
  gtk_widget_show_all(window_);
  gtk_widget_hide(progress_);
  gtk_widget_hide(updateButton_);
  handle_ = platform::CreateMessageWindow(
      kClassName, kTitle,
      [this](std::uint32_t msg, platform::WParam, platform::LParam) { return OnMessage(msg); });
}

void RenewWindow::CheckInBackground(const std::string& url, const std::string& installedVersion) {
  ShowStatus("正在检查更新", "");
  checker_ = std::thread([this, url, installedVersion] {
    CheckResult result = CheckForUpdate(url, installedVersion);
    platform::InvokeOnUiThread([this, result] {
      checker_.join();
      ShowCheckResult(result);
    });
  });
}

void RenewWindow::ShowCheckResult(const CheckResult& result) {
  switch (result.kind) {
    case CheckResult::Kind::kFailed:
      std::fprintf(stderr, "renew: %s\n", result.error.c_str());
      ShowStatus("无法检查更新", result.error);
      break;
    case CheckResult::Kind::kUpToDate:
      ShowStatus("已是最新版本", "Lumo " + result.description.version);
      break;
    case CheckResult::Kind::kNewer:
      offered_ = result.description;
      ShowStatus("发现新版本 " + offered_.version, offered_.notes);
      gtk_widget_show(updateButton_);
      break;
  }
}

void RenewWindow::ShowStatus(const std::string& headline, const std::string& detail) {
  gtk_label_set_text(GTK_LABEL(headline_), Displayable(headline).c_str());
  gtk_label_set_text(GTK_LABEL(detail_), Displayable(detail).c_str());
}

void RenewWindow::ShowProgress(std::uint64_t have, std::uint64_t total) {
  gtk_widget_show(progress_);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_),
                                total ? static_cast<double>(have) / static_cast<double>(total) : 0);
  std::string text = std::to_string(have >> 20) + " / " + std::to_string(total >> 20) + " MiB";
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_), text.c_str());
}

void RenewWindow::Finished(bool success) {
  if (success) {
    platform::QuitUiLoop(0);
    return;
  }
  gtk_widget_hide(progress_);
}

void RenewWindow::OnUpdateClicked() {
  gtk_widget_hide(updateButton_);
  updater_ = std::make_unique<Updater>(this, programDir_, offered_);
  updater_->Start();
}

// Lumo's "quit now" closes the updater, unless the update itself asked Lumo to quit.
bool RenewWindow::OnMessage(std::uint32_t msg) {
  if (msg != kQuitNow) return false;
  Quit();
  return true;
}

void RenewWindow::Quit() {
  if (updater_ && updater_->Installing()) return;
  if (updater_) updater_->Cancel();
  gtk_widget_hide(window_);
  platform::QuitUiLoop(0);
}

}  // namespace lumo::renew
