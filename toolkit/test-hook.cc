#include "toolkit/test-hook.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include <gtk/gtk.h>

#include "app/log.h"
#include "platform/file-system.h"
#include "toolkit/controls.h"
#include "toolkit/skin-window.h"

namespace lumo::toolkit {

namespace {

struct HookState {
  GIOChannel* channel = nullptr;
  guint watch = 0;
  guint probe = 0;
  gint64 lastTick = 0;
  gint64 worstLateness = 0;
  unsigned ticks = 0;
  std::string replyPath;
  std::map<std::string, TestCommand> commands;
};

HookState& hook() {
  static HookState state;
  return state;
}

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

void Reply(const std::string& id, const std::string& text) {
  FILE* out = std::fopen(hook().replyPath.c_str(), "a");
  if (!out) return;
  std::fprintf(out, "%s %s\n", id.c_str(), text.c_str());
  std::fclose(out);
}

std::string Click(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 2 ? SkinWindow::FindByClass(args[0]) : nullptr;
  GtkWidget* control = window ? window->FindControl(args[1]) : nullptr;
  if (!control) return "error no such control";
  if (GTK_IS_RADIO_BUTTON(control))
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control), TRUE);
  else if (GTK_IS_TOGGLE_BUTTON(control))
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control),
                                 !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(control)));
  else if (GTK_IS_BUTTON(control))
    gtk_button_clicked(GTK_BUTTON(control));
  else
    return "error not clickable";
  return "ok";
}

std::string NotifyCommand(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 3 ? SkinWindow::FindByClass(args[0]) : nullptr;
  GtkWidget* control = window ? window->FindControl(args[2]) : nullptr;
  if (!control) return "error no such control";
  Notification n{args[1], args[2], control};
  if (args.size() >= 5) {
    n.x = std::atof(args[3].c_str());
    n.y = std::atof(args[4].c_str());
  }
  window->SendNotify(n);
  return "ok";
}

std::string Describe(GtkWidget* control) {
  std::ostringstream out;
  out << "visible=" << gtk_widget_is_visible(control)
      << " enabled=" << gtk_widget_is_sensitive(control)
      << " checked=" << (GTK_IS_TOGGLE_BUTTON(control) && IsChecked(GTK_TOGGLE_BUTTON(control)))
      << " page=" << (GTK_IS_NOTEBOOK(control) ? CurrentTab(GTK_NOTEBOOK(control)) : -1)
      << " count=" << (GTK_IS_LIST_BOX(control) ? ListCount(GTK_LIST_BOX(control)) : -1);
  // Where it sits in its window, so that a test can click it with the real pointer.
  int x = 0, y = 0;
  gtk_widget_translate_coordinates(control, gtk_widget_get_toplevel(control), 0, 0, &x, &y);
  out << " where=" << x << ',' << y << ',' << gtk_widget_get_allocated_width(control) << ','
      << gtk_widget_get_allocated_height(control) << " text=" << GetText(control);
  return out.str();
}

std::string Get(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 2 ? SkinWindow::FindByClass(args[0]) : nullptr;
  GtkWidget* control = window ? window->FindControl(args[1]) : nullptr;
  return control ? Describe(control) : "error no such control";
}

std::string WindowCommand(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 1 ? SkinWindow::FindByClass(args[0]) : nullptr;
  if (!window || !window->window()) return "closed";
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(window->window(), &x, &y);
  gtk_window_get_size(window->window(), &width, &height);
  std::ostringstream out;
  out << "open " << x << ' ' << y << ' ' << width << ' ' << height
      << " maximized=" << window->IsMaximized();
  return out.str();
}

// "where <class> <control>": the control's rectangle on the screen, "x y width height".
std::string Where(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 2 ? SkinWindow::FindByClass(args[0]) : nullptr;
  GtkWidget* top = window ? GTK_WIDGET(window->window()) : nullptr;
  GtkWidget* control = top ? window->FindControl(args[1]) : nullptr;
  if (!control || !gtk_widget_get_window(top)) return "error no such control";
  int x = 0, y = 0, originX = 0, originY = 0;
  gtk_widget_translate_coordinates(control, top, 0, 0, &x, &y);
  gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
  std::ostringstream out;
  out << originX + x << ' ' << originY + y << ' ' << gtk_widget_get_allocated_width(control) << ' '
      << gtk_widget_get_allocated_height(control);
  return out.str();
}

std::string CloseCommand(const std::vector<std::string>& args) {
  SkinWindow* window = args.size() >= 1 ? SkinWindow::FindByClass(args[0]) : nullptr;
  if (!window) return "error no such window";
  window->Close(0);
  return "ok";
}

// How late a timer of input priority fires is how long a click would wait for the UI thread.
constexpr guint kProbeMs = 10;

gboolean OnProbeTick(gpointer) {
  HookState& state = hook();
  gint64 now = g_get_monotonic_time();
  if (state.lastTick)
    state.worstLateness =
        std::max(state.worstLateness, now - state.lastTick - gint64{kProbeMs} * 1000);
  state.lastTick = now;
  ++state.ticks;
  return G_SOURCE_CONTINUE;
}

// "lateness": the probe's worst lateness and ticks since the previous "lateness", then resets.
std::string Lateness(const std::vector<std::string>&) {
  HookState& state = hook();
  char text[64];
  std::snprintf(text, sizeof text, "worst_ms=%.1f ticks=%u",
                static_cast<double>(state.worstLateness) / 1000.0, state.ticks);
  state.worstLateness = 0;
  state.ticks = 0;
  return text;
}

void RunLine(const std::string& line) {
  std::vector<std::string> words = Split(line);
  if (words.size() < 2) return;
  std::string id = words[0];
  auto it = hook().commands.find(words[1]);
  std::vector<std::string> args(words.begin() + 2, words.end());
  if (it == hook().commands.end()) {
    Reply(id, "error unknown command");
    return;
  }
  // A command may run a modal window; the reply goes out first so the test can go on.
  Reply(id, "started");
  Reply(id, it->second(args));
}

gboolean OnInput(GIOChannel* channel, GIOCondition, gpointer) {
  gchar* text = nullptr;
  gsize length = 0;
  while (g_io_channel_read_line(channel, &text, &length, nullptr, nullptr) == G_IO_STATUS_NORMAL &&
         text) {
    std::string line(text, length);
    g_free(text);
    text = nullptr;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // Each command is its own idle job, so one that runs a modal loop does not hold the rest.
    auto* job = new std::string(line);
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) {
          RunLine(*static_cast<std::string*>(data));
          return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<std::string*>(data); });
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

void RegisterTestCommand(const std::string& name, TestCommand command) {
  hook().commands[name] = std::move(command);
}

bool StartTestHook() {
  const char* path = g_getenv("LUMO_TEST_HOOK");
  if (!path || !*path || hook().channel) return false;
  // Opened for writing too, so the pipe never reports end of file between test commands.
  int fd = platform::OpenPipeForReading(path);
  if (fd < 0) {
    Log::instance()->write("test hook %s cannot be opened.", path);
    return false;
  }
  HookState& state = hook();
  state.replyPath = std::string(path) + ".out";
  state.channel = g_io_channel_unix_new(fd);
  g_io_channel_set_close_on_unref(state.channel, TRUE);
  g_io_channel_set_encoding(state.channel, nullptr, nullptr);
  g_io_channel_set_flags(state.channel, G_IO_FLAG_NONBLOCK, nullptr);
  state.watch = g_io_add_watch(state.channel, G_IO_IN, OnInput, nullptr);
  RegisterTestCommand("click", Click);
  RegisterTestCommand("notify", NotifyCommand);
  RegisterTestCommand("get", Get);
  RegisterTestCommand("window", WindowCommand);
  RegisterTestCommand("where", Where);
  RegisterTestCommand("close", CloseCommand);
  RegisterTestCommand("lateness", Lateness);
  state.probe = g_timeout_add(kProbeMs, OnProbeTick, nullptr);
  Log::instance()->write("test hook reading %s.", path);
  return true;
}

bool TestHookRunning() {
  return hook().channel != nullptr;
}

void StopTestHook() {
  HookState& state = hook();
  if (state.watch) g_source_remove(state.watch);
  if (state.probe) g_source_remove(state.probe);
  state.probe = 0;
  if (state.channel) g_io_channel_unref(state.channel);
  state.watch = 0;
  state.channel = nullptr;
}

}  // namespace lumo::toolkit
