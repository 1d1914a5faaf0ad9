// Serves files over HTTP on 127.0.0.1 for shell tests, until it is killed.
// Usage: lumo-serve-files [--dir DIR] [--throttle BYTES] [--ranges FILE] [URL-PATH=FILE...]
//   --dir       every file of DIR is served as /NAME, also files that appear there later
//   --throttle  bytes per second per connection for the files of DIR
//   --ranges    FILE is rewritten with one "PATH RANGE" line per request of a DIR file
//               ("-" for a request without a Range header)
// Prints the port on its first line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"

namespace {

struct Options {
  std::string dir;
  std::string rangesFile;
  std::uint64_t throttle = 0;
};

// Adds the files of the folder that are not served yet; a file still being written is taken
// only once its size has held for one round.
void AddNewFiles(lumo::test::HttpServer& server, const Options& options,
                 std::set<std::string>* served, std::map<std::string, std::uintmax_t>* sizes) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(options.dir, error)) {
    std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || served->count(name)) continue;
    std::uintmax_t size = entry.file_size(error);
    auto known = sizes->find(name);
    if (known == sizes->end() || known->second != size) {
      (*sizes)[name] = size;
      continue;
    }
    server.AddFile("/" + name, lumo::test::ReadFile(entry.path().string()), options.throttle);
    served->insert(name);
  }
}

void WriteRanges(const lumo::test::HttpServer& server, const std::string& file,
                 const std::set<std::string>& served) {
  std::string text;
  for (const std::string& name : served)
    for (const std::string& range : server.Ranges("/" + name))
      text += "/" + name + " " + (range.empty() ? "-" : range) + "\n";
  std::string temporary = file + ".tmp";
  std::ofstream(temporary) << text;
  std::filesystem::rename(temporary, file);
}

}  // namespace

int main(int argc, char** argv) {
  lumo::test::HttpServer server;
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (arg == "--throttle" && i + 1 < argc) {
      options.throttle = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--ranges" && i + 1 < argc) {
      options.rangesFile = argv[++i];
    } else if (auto equals = arg.find('='); equals != std::string::npos) {
      server.AddFile(arg.substr(0, equals), lumo::test::ReadFile(arg.substr(equals + 1)));
    } else {
      std::fprintf(stderr,
                   "usage: %s [--dir DIR] [--throttle BYTES] [--ranges FILE] "
                   "[URL-PATH=FILE...]\n",
                   argv[0]);
      return 2;
    }
  }
  std::printf("%d\n", server.port());
  std::fflush(stdout);
  std::set<std::string> served;
  std::map<std::string, std::uintmax_t> sizes;
  for (;;) {
    if (!options.dir.empty()) AddNewFiles(server, options, &served, &sizes);
    if (!options.rangesFile.empty()) WriteRanges(server, options.rangesFile, served);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
