/* Starts a program and prints, in milliseconds since the epoch, when it was started and when
 * X first mapped a top-level window of its process (its _NET_WM_PID): "exec T PID", then
 * "mapped T". Then waits for the program and exits with its status; a terminate signal is
 * passed on to it. Usage: map-watch PROGRAM [ARGS...] */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static pid_t child;

static long long NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static void PassOn(int signal) {
  if (child > 0) kill(child, signal);
}

static long WindowPid(Display* display, Window window, Atom pidAtom) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  long pid = -1;
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) == Success &&
      data && count == 1 && format == 32)
    pid = (long)*(unsigned long*)data;
  if (data) XFree(data);
  return pid;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "cannot open display\n");
    return 1;
  }
  Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  /* Listening starts before the program does, so no map is missed. */
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  long long start = NowMs();
  child = fork();
  if (child == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  signal(SIGTERM, PassOn);
  signal(SIGINT, PassOn);
  printf("exec %lld %d\n", start, (int)child);
  fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != MapNotify || event.xmap.override_redirect) continue;
    if (WindowPid(display, event.xmap.window, pidAtom) != child) continue;
    printf("mapped %lld\n", NowMs());
    fflush(stdout);
    break;
  }
  XCloseDisplay(display);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
