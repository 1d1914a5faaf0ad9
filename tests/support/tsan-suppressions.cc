// Linked into the tests of a thread-sanitizer build. GLib and the test HTTP server's library
// are not built with the sanitizer: GLib's main context is guarded by GLib's own futex locks,
// which the sanitizer cannot see, so every wake-up of the UI loop from a worker would be
// reported as a race inside GLib; the same holds for the server library's inlined
// synchronisation.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libglib-2.0.so\n"
         "race:libcpp-httplib.so\n";
}
