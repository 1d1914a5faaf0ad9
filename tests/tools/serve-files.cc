// Serves files over HTTP on 127.0.0.1 for shell tests, until it is killed.
// Usage: lumo-serve-files URL-PATH=FILE...   Prints the port on its first line.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"

int main(int argc, char** argv) {
  lumo::test::HttpServer server;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto equals = arg.find('=');
    if (equals == std::string::npos) {
      std::fprintf(stderr, "usage: %s URL-PATH=FILE...\n", argv[0]);
      return 2;
    }
    server.AddFile(arg.substr(0, equals), lumo::test::ReadFile(arg.substr(equals + 1)));
  }
  std::printf("%d\n", server.port());
  std::fflush(stdout);
  for (;;) pause();
}
