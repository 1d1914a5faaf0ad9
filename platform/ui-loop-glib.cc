#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
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

// Work for the UI thread waits in our own locked queue; one source, made on first use and
// never removed, drains it. The lock makes the hand-over visible to thread checkers, which
// cannot see inside GLib.
std::mutex queueMutex;
std::deque<std::function<void()>> queue;
GSource* drainSource = nullptr;
constexpr int kBatch = 64;  // leave room for input and drawing between batches

gboolean DrainQueue(GSource* source, GSourceFunc, gpointer) {
  for (int i = 0; i < kBatch; ++i) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      if (queue.empty()) {
        // Under the lock: a push after the check sets the source ready again after this.
        g_source_set_ready_time(source, -1);
        return G_SOURCE_CONTINUE;
      }
      fn = std::move(queue.front());
      queue.pop_front();
    }
    fn();
  }
  return G_SOURCE_CONTINUE;
}

GSourceFuncs drainFuncs = {nullptr, nullptr, DrainQueue, nullptr, nullptr, nullptr};

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

void CheckUiThread(const char* where) {
  if (IsUiThread()) return;
  // The log may not be set up in a library or test; stderr always is.
  std::fprintf(stderr, "%s called off the UI thread\n", where);
  std::abort();
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
  std::lock_guard<std::mutex> lock(queueMutex);
  queue.push_back(std::move(fn));
  if (!drainSource) {
    drainSource = g_source_new(&drainFuncs, sizeof(GSource));
    g_source_set_priority(drainSource, G_PRIORITY_DEFAULT);
    // A function run from the queue may open a modal dialog, whose nested loop must go on
    // delivering: GLib dispatches a source again while it runs only when it may recurse.
    g_source_set_can_recurse(drainSource, TRUE);
    g_source_attach(drainSource, nullptr);
  }
  // Ready at once; this wakes the default context from any thread.
  g_source_set_ready_time(drainSource, 0);
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
