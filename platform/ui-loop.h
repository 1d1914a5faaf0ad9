#pragma once

#include <functional>

namespace lumo::platform {

// The UI thread's message loop. The thread that calls RunUiLoop (or MarkUiThread) is the UI
// thread; GTK windows, when there are any, are served by the same loop.
void MarkUiThread();
bool IsUiThread();
// Logs `where` and aborts when the calling thread is not the UI thread.
void CheckUiThread(const char* where);
// Runs until QuitUiLoop; returns the code passed to it.
int RunUiLoop();
void QuitUiLoop(int code);
// Queues `fn` to run on the UI thread. Safe from any thread.
void InvokeOnUiThread(std::function<void()> fn);
// Runs pending UI work without blocking; for tests that drive the loop by hand.
void PumpUiLoop();
// Schedules `fn` on the UI thread after `ms` milliseconds; returns an id for CancelTimer.
unsigned AddTimer(unsigned ms, std::function<bool()> fn);
void CancelTimer(unsigned id);

}  // namespace lumo::platform

// Opens the public functions of a UI-thread-only class. Debug and sanitizer builds check the
// rule, so a test that calls from a worker fails at the call, not at a later race.
#ifdef LUMO_CHECK_THREADS
#define LUMO_CHECK_UI_THREAD() ::lumo::platform::CheckUiThread(__func__)
#else
#define LUMO_CHECK_UI_THREAD() static_cast<void>(0)
#endif
