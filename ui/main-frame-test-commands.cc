// Test commands of the main window, read from the toolkit's test hook (LUMO_TEST_HOOK): they
// drive the window the way the catalogue, the item lifecycle and the user would.
#include <sstream>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"
#include "toolkit/test-hook.h"
#include "ui/hard-fail-wnd.h"
#include "ui/item-lifecycle.h"
#include "ui/main-frame.h"
#include "ui/progress-ui-ex.h"

namespace lumo {

namespace {

using Args = std::vector<std::string>;

// The main browser's first finished load of its home page: the wall-clock time, so that a
// benchmark can time it from the program's exec (a blank page may load before it).
gint64& homeLoadedMs() {
  static gint64 epochMs = 0;
  return epochMs;
}

void OnMainLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED || homeLoadedMs()) return;
  const char* uri = webkit_web_view_get_uri(view);
  if (uri && uri == toolkit::Browser::FromView(view)->homePage())
    homeLoadedMs() = g_get_real_time() / 1000;
}

// "loaded": "epoch_ms=T" when the main browser first finished loading its home page, or "none".
std::string HomeLoaded(const Args&) {
  return homeLoadedMs() ? "epoch_ms=" + std::to_string(homeLoadedMs()) : "none";
}

// "item <package> <status> <percent> <icon or -> <name...>": a record as the catalogue load
// delivers it.
std::string LoadItem(const Args& args) {
  if (args.size() < 5) return "error usage";
  auto record = std::make_unique<AppItemInfo>();
  record->packageName = args[0];
  record->status = std::atoi(args[1].c_str());
  record->downloadPos = std::atoi(args[2].c_str());
  if (args[3] != "-") record->imagePath = args[3];
  for (size_t i = 4; i < args.size(); ++i) record->appName += (i > 4 ? " " : "") + args[i];
  record->detailUrl = "about:blank";
  Dispatcher::instance()->SendOwned(MSG_APP_LOADED, std::move(record));
  return "ok";
}

// "download <json...>": a store page's download request, as the page bridge delivers it.
std::string DownloadClicked(const Args& args) {
  std::string json;
  for (const std::string& arg : args) json += (json.empty() ? "" : " ") + arg;
  Dispatcher::instance()->Send(MSG_DOWNLOAD_CLICKED, json);
  return "ok";
}

std::string CloudPlay(const Args& args) {
  if (args.empty()) return "error usage";
  Dispatcher::instance()->Send(MSG_CLOUD_PLAY, args[0]);
  return "ok";
}

std::string Describe(const CProgressUIEx& control) {
  std::ostringstream out;
  out << "state=" << control.state() << " value=" << control.value()
      << " hand=" << control.WantsHandCursor() << " text=" << control.text();
  return out.str();
}

}  // namespace

// "state <status> <percent> [text]": the selected game moves to a status.
std::string MainFrame::TestSetState(const std::vector<std::string>& args) {
  auto record = lifecycle_->game().Find(lifecycle_->selectedPackage());
  if (!record || args.size() < 2) return "error no selection";
  record->status = std::atoi(args[0].c_str());
  record->downloadPos = std::atoi(args[1].c_str());
  lifecycle_->SetItemLabel(record->packageName, record->status);
  StatusNote note;
  if (args.size() > 2) note.text = args[2];
  lifecycle_->UpdateDetail(record->status, note, record->downloadPos);
  return "ok";
}

// "game <package>": what the screen shows of a game: "status=<code> label=<text>".
std::string MainFrame::TestGame(const std::vector<std::string>& args) {
  if (args.empty()) return "error usage";
  auto record = lifecycle_->game().Find(args[0]);
  if (!record) return "none";
  GtkWidget* item = lifecycle_->ItemOf(args[0]);
  std::string label = item ? toolkit::GetText(toolkit::ItemControl(item, "status")) : "";
  return "status=" + std::to_string(record->status) +
         " pos=" + std::to_string(record->downloadPos) + " label=" + label;
}

// "delete <package>": a click on the game's delete button.
std::string MainFrame::TestDelete(const std::vector<std::string>& args) {
  if (args.empty()) return "error usage";
  GtkWidget* item = lifecycle_->ItemOf(args[0]);
  if (!item) return "error no item";
  lifecycle_->OnDeleteClicked(item);
  return "ok";
}

// "progress [click]": the detail control's state, after a click when asked.
std::string MainFrame::TestProgress(const std::vector<std::string>& args) {
  CProgressUIEx* progress = lifecycle_->progress();
  if (!progress) return "error no progress control";
  std::string clicked;
  if (!args.empty() && args[0] == "click")
    clicked = progress->OnButtonRelease(true) ? "clicked " : "ignored ";
  return clicked + Describe(*progress);
}

// "floating": where the three floating controls sit, and the client size.
std::string MainFrame::TestFloating(const std::vector<std::string>&) {
  std::ostringstream out;
  for (const char* name : {"checkbox_add", "btn_add_find", "btn_add_local"}) {
    GtkWidget* control = FindControl(name);
    int width = 0, height = 0;
    gtk_widget_get_size_request(control, &width, &height);
    out << name << '=' << gtk_widget_get_margin_start(control) << ','
        << gtk_widget_get_margin_top(control) << ',' << width << ',' << height << ' ';
  }
  GtkAllocation all;
  gtk_widget_get_allocation(GTK_WIDGET(window()), &all);
  out << "client=" << all.width << ',' << all.height;
  return out.str();
}

void MainFrame::RegisterTestCommands() {
  using namespace std::placeholders;
  toolkit::RegisterTestCommand("item", LoadItem);
  toolkit::RegisterTestCommand("cloud", CloudPlay);
  toolkit::RegisterTestCommand("download", DownloadClicked);
  toolkit::RegisterTestCommand("game", std::bind(&MainFrame::TestGame, this, _1));
  toolkit::RegisterTestCommand("delete", std::bind(&MainFrame::TestDelete, this, _1));
  toolkit::RegisterTestCommand("state", std::bind(&MainFrame::TestSetState, this, _1));
  toolkit::RegisterTestCommand("progress", std::bind(&MainFrame::TestProgress, this, _1));
  toolkit::RegisterTestCommand("floating", std::bind(&MainFrame::TestFloating, this, _1));
  toolkit::RegisterTestCommand("hardfail", [this](const Args&) {
    return "result=" + std::to_string(HardFailWnd::Run(this));
  });
  // "browser <Main|Detail> [home]": the address a browser shows, after going home when asked.
  toolkit::RegisterTestCommand("browser", [this](const Args& args) {
    toolkit::Browser* browser = args.empty()        ? nullptr
                                : args[0] == "Main" ? browseMain_
                                                    : detailBrowser();
    if (!browser) return std::string("error usage");
    if (args.size() > 1 && args[1] == "home") browser->NavigateHomePage();
    return browser->url();
  });
  // Connected before the main loop runs, so the home page's first load is not missed.
  if (toolkit::TestHookRunning() && browseMain_)
    g_signal_connect(browseMain_->view(), "load-changed", G_CALLBACK(OnMainLoadChanged), nullptr);
  toolkit::RegisterTestCommand("loaded", HomeLoaded);
  toolkit::RegisterTestCommand("resize", [this](const Args& args) {
    if (args.size() < 2) return std::string("error usage");
    gtk_window_resize(window(), std::atoi(args[0].c_str()), std::atoi(args[1].c_str()));
    return std::string("ok");
  });
}

}  // namespace lumo
