#include <atomic>
#include <mutex>
#include <thread>

#include <glib.h>

#include "platform/ui-loop.h"

namespace lumo::platform {

namespace {

std::mutex loopMutex;
GMainLoop* runningLoop = nullptr;
bool quitRequested = false;
int exitCode = 0;
std::atomic<std::thread::id> uiThread{};

struct Callback {
  std::function<void()> fn;
};

gboolean RunCallback(gpointer data) {
  static_cast<Callback*>(data)->fn();
  return G_SOURCE_REMOVE;
}

void DeleteCallback(gpointer data) {
  delete static_cast<Callback*>(data);
}

struct TimerCallback {
  std::function<bool()> fn;
};

gboolean RunTimer(gpointer data) {
  return static_cast<TimerCallback*>(data)->fn() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void DeleteTimer(gpointer data) {
  delete static_cast<TimerCallback*>(data);
}

}  // namespace

void MarkUiThread() {
  uiThread = std::this_thread::get_id();
}

bool IsUiThread() {
  return uiThread.load() == std::this_thread::get_id();
}

int RunUiLoop() {
  MarkUiThread();
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  {
    std::lock_guard<std::mutex> lock(loopMutex);
    if (quitRequested) {
      quitRequested = false;
      g_main_loop_unref(loop);
      return exitCode;
    }
    runningLoop = loop;
  }
  g_main_loop_run(loop);
  {
    std::lock_guard<std::mutex> lock(loopMutex);
    runningLoop = nullptr;
    quitRequested = false;
  }
  g_main_loop_unref(loop);
  return exitCode;
}

void QuitUiLoop(int code) {
  std::lock_guard<std::mutex> lock(loopMutex);
  exitCode = code;
  if (runningLoop) {
    g_main_loop_quit(runningLoop);
  } else {
    // A quit before the loop runs ends the next loop at once, as a queued quit message would.
    quitRequested = true;
  }
}

void InvokeOnUiThread(std::function<void()> fn) {
  // g_idle_add_full attaches to the default context from any thread and wakes it.
  g_idle_add_full(G_PRIORITY_DEFAULT, RunCallback, new Callback{std::move(fn)}, DeleteCallback);
}

void PumpUiLoop() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

unsigned AddTimer(unsigned ms, std::function<bool()> fn) {
  return g_timeout_add_full(G_PRIORITY_DEFAULT, ms, RunTimer, new TimerCallback{std::move(fn)},
                            DeleteTimer);
}

void CancelTimer(unsigned id) {
  if (id) g_source_remove(id);
}

}  // namespace lumo::platform
