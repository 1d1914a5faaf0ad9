// lumo-store: serves the demo store's folder on 127.0.0.1 until it is stopped.
// Usage: lumo-store [--port N] [--dir FOLDER]
//   --port  the port to listen on (18080)
//   --dir   the store's content folder (the "store" folder beside this program)
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/paths.h"
#include "store/store-server.h"

namespace {

constexpr char kHost[] = "127.0.0.1";
constexpr int kDefaultPort = 18080;

struct Options {
  int port = kDefaultPort;
  std::string dir;
};

bool ParsePort(const std::string& text, int* port) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *port);
  return error == std::errc() && end == text.data() + text.size() && *port > 0 && *port < 65536;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--port" && hasValue && ParsePort(argv[i + 1], &options->port)) {
      ++i;
    } else if (arg == "--dir" && hasValue) {
      options->dir = argv[++i];
    } else {
      std::fprintf(stderr,
                   "lumo-store: bad argument %s\nusage: lumo-store [--port N] [--dir FOLDER]\n",
                   arg.c_str());
      return false;
    }
  }
  if (options->dir.empty()) options->dir = lumo::PathJoin(lumo::ExeDir(), "store");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  std::error_code error;
  if (!std::filesystem::is_directory(options.dir, error)) {
    std::fprintf(stderr, "lumo-store: %s is not a folder\n", options.dir.c_str());
    return 1;
  }
  lumo::store::StoreServer server(options.dir);
  std::string reason;
  if (!server.Bind(kHost, options.port, &reason)) {
    std::fprintf(stderr, "lumo-store: %s\n", reason.c_str());
    return 1;
  }
  std::printf("lumo-store: serving %s on http://%s:%d/\n", options.dir.c_str(), kHost,
              server.port());
  std::fflush(stdout);
  return server.Run() ? 0 : 1;
}
