// Throughput of a large download from a server on 127.0.0.1: through DownloadTaskMgr (the
// engine library over aria2, reports through the Dispatcher), through aria2c with the same
// segmenting, and through curl on one connection. Two links: open, and capped per connection,
// where several connections should beat one by about their number.
//
// Each measurement is the median of three runs. aria2 (the engine's and aria2c) flushes the
// file to disk when it completes and curl does not, so curl is also shown with that flush.
//
// Usage: download-bench [open MiB (512)] [capped MiB (64)] [cap MiB/s per connection (4)]
//        download-bench serve [open MiB] [capped MiB] [cap]: only serves, for trying peers

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "download/download-task-mgr.h"
#include "download/thunder-wrapper.h"
#include "platform/dynamic-library.h"
#include "platform/ui-loop.h"
#include "platform/window.h"
#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using lumo::test::HttpServer;

constexpr std::uint64_t kMiB = 1 << 20;
// Not a power of two, so a segment written at the wrong offset shows.
const std::string& Pattern() {
  static const std::string pattern = lumo::test::PatternBytes(kMiB + 7, 42);
  return pattern;
}

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  bool ok = false;
  // Through the manager: when the file was complete on disk (its control file gone).
  double fileSeconds = 0;
};

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool SameAsServed(const std::string& path, std::uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(kMiB);
  std::uint64_t offset = 0;
  const std::string& pattern = Pattern();
  while (in) {
    in.read(buffer.data(), buffer.size());
    for (std::streamsize i = 0; i < in.gcount(); ++i, ++offset) {
      if (buffer[i] != pattern[offset % pattern.size()]) return false;
    }
  }
  return offset == size;
}

// The server lives in a child process so that its work is not counted as the client's.
pid_t StartServer(std::uint64_t openSize, std::uint64_t cappedSize, std::uint64_t cap, int* port) {
  int pipes[2];
  if (pipe(pipes) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipes[0]);
    HttpServer server;
    auto pattern = std::make_shared<const std::string>(Pattern());
    server.AddFile("/open.bin", HttpServer::File{openSize, pattern});
    server.AddFile("/capped.bin", HttpServer::File{cappedSize, pattern, cap});
    int serverPort = server.port();
    if (write(pipes[1], &serverPort, sizeof(serverPort)) != sizeof(serverPort)) _exit(1);
    pause();
    _exit(0);
  }
  close(pipes[1]);
  if (read(pipes[0], port, sizeof(*port)) != sizeof(*port)) return -1;
  close(pipes[0]);
  return pid;
}

// flush: also fsync the file before the clock stops.
Result RunProgram(std::vector<std::string> args, const std::string& output, std::uint64_t size,
                  bool flush = false) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
  double selfBefore = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  pid_t pid = 0;
  Result result;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  bool flushed = true;
  if (flush) {
    int fd = open(output.c_str(), O_WRONLY);
    flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpuSeconds =
      CpuSeconds(RUSAGE_CHILDREN) - cpuBefore + CpuSeconds(RUSAGE_SELF) - selfBefore;
  result.ok =
      flushed && WIFEXITED(status) && WEXITSTATUS(status) == 0 && SameAsServed(output, size);
  std::remove(output.c_str());
  return result;
}

// The median run by time; a wrong file in any run marks the result wrong.
template <typename Measure>
Result Median(Measure measure) {
  std::vector<Result> runs;
  for (int i = 0; i < 3; ++i) runs.push_back(measure());
  bool ok = std::all_of(runs.begin(), runs.end(), [](const Result& r) { return r.ok; });
  std::sort(runs.begin(), runs.end(),
            [](const Result& a, const Result& b) { return a.seconds < b.seconds; });
  Result median = runs[1];
  median.ok = ok;
  return median;
}

bool Exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

// Through the manager, as the program runs it: reports arrive on this (UI) thread. Also
// notes when the file was complete on disk (the engine's control file gone), since the
// manager looks only once a second.
Result RunManager(lumo::DownloadTaskMgr& manager, lumo::platform::WindowHandle window,
                  const std::string& url, const std::string& folder, const std::string& key,
                  std::uint64_t size) {
  using namespace lumo;
  std::string done;
  Dispatcher::instance()->Register(MSG_DOWNLOAD_DONE, window, [&](WParam, LParam path) {
    done = reinterpret_cast<const char*>(path);
  });
  std::string control = folder + "/" + key + ".apk.aria2";
  double cpuBefore = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  manager.addTask(std::make_shared<DownloadTask>(key, url, folder, key + ".apk"));
  manager.startTask(key);
  bool sawControl = false;
  Result result;
  while (done.empty()) {
    platform::PumpUiLoop();
    bool controlExists = Exists(control);
    sawControl = sawControl || controlExists;
    if (sawControl && !controlExists && result.fileSeconds == 0) {
      result.fileSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpuSeconds = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  result.ok = SameAsServed(done, size);
  if (result.fileSeconds == 0) result.fileSeconds = result.seconds;
  Dispatcher::instance()->Unregister(MSG_DOWNLOAD_DONE, window);
  std::remove(done.c_str());
  return result;
}

void Print(const char* name, const Result& result, std::uint64_t size) {
  double gib = static_cast<double>(size) / (1024.0 * kMiB);
  std::printf("  %-22s %7.2f s  %8.1f MiB/s  %6.2f CPU s/GiB  %s\n", name, result.seconds,
              static_cast<double>(size) / kMiB / result.seconds, result.cpuSeconds / gib,
              result.ok ? "identical" : "WRONG FILE");
}

}  // namespace

int main(int argc, char** argv) {
  bool serveOnly = argc > 1 && std::string(argv[1]) == "serve";
  if (serveOnly) --argc, ++argv;
  std::uint64_t openSize = (argc > 1 ? std::atoll(argv[1]) : 512) * kMiB;
  std::uint64_t cappedSize = (argc > 2 ? std::atoll(argv[2]) : 64) * kMiB;
  std::uint64_t cap = (argc > 3 ? std::atoll(argv[3]) : 4) * kMiB;
  // Throughput of nothing means nothing, and a zero cap would be no cap.
  if (openSize == 0 || cappedSize == 0 || cap == 0) {
    std::fprintf(stderr,
                 "usage: download-bench [serve] [open MiB] [capped MiB] [cap MiB/s], "
                 "each at least 1\n");
    return 2;
  }
  int port = 0;
  pid_t server = StartServer(openSize, cappedSize, cap, &port);
  if (server <= 0) return 1;
  if (serveOnly) {
    std::printf("serving /open.bin and /capped.bin on http://127.0.0.1:%d\n", port);
    std::fflush(stdout);
    waitpid(server, nullptr, 0);
    return 0;
  }
  std::string base = "http://127.0.0.1:" + std::to_string(port);

  using namespace lumo;
  platform::MarkUiThread();
  platform::WindowHandle window = 0;
  window = platform::CreateMessageWindow("Bench", "bench",
                                         [&window](std::uint32_t m, WParam w, LParam l) {
                                           return Dispatcher::instance()->Dispatch(window, m, w, l);
                                         });
  auto engine = ThunderWrapper::load(std::string(LUMO_PROGRAM_DIR) + "/" +
                                     platform::SharedLibraryFileName("xldl"));
  auto manager = DownloadTaskMgr::create(engine);
  if (!manager->available()) return 1;
  test::TempDir dir;
  // aria2c gets the engine's own segmenting, so the comparison is of the same strategy.
  auto aria2c = [&](const std::string& url, const std::string& name) {
    return std::vector<std::string>{"aria2c",
                                    "-q",
                                    "-x8",
                                    "-s8",
                                    "-k1M",
                                    "--file-allocation=none",
                                    "--allow-overwrite=true",
                                    "-d",
                                    dir.path(),
                                    "-o",
                                    name,
                                    url};
  };
  auto curl = [&](const std::string& url, const std::string& name) {
    return std::vector<std::string>{"curl", "-sf", "-o", dir / name, url};
  };

  struct Case {
    const char* title;
    std::string path;
    std::uint64_t size;
  } cases[] = {{"open link", "/open.bin", openSize}, {"capped link", "/capped.bin", cappedSize}};
  int index = 0;
  for (const Case& c : cases) {
    std::printf("%s: %llu MiB%s\n", c.title, static_cast<unsigned long long>(c.size / kMiB),
                c.path == "/capped.bin"
                    ? (", " + std::to_string(cap / kMiB) + " MiB/s per connection").c_str()
                    : "");
    Result mgr = Median([&] {
      return RunManager(*manager, window, base + c.path, dir.path(),
                        "bench" + std::to_string(index++), c.size);
    });
    Result a =
        Median([&] { return RunProgram(aria2c(base + c.path, "a.bin"), dir / "a.bin", c.size); });
    Result k =
        Median([&] { return RunProgram(curl(base + c.path, "c.bin"), dir / "c.bin", c.size); });
    Result kf = Median(
        [&] { return RunProgram(curl(base + c.path, "c.bin"), dir / "c.bin", c.size, true); });
    Print("DownloadTaskMgr", mgr, c.size);
    Result fileDone = mgr;
    fileDone.seconds = mgr.fileSeconds;
    Print("  (file complete)", fileDone, c.size);
    Print("aria2c -x8 -s8", a, c.size);
    Print("curl", k, c.size);
    Print("curl, then fsync", kf, c.size);
    double best = std::min(a.seconds, k.seconds);
    std::printf(
        "  ratio vs faster peer: %.2f (file complete %.2f); vs curl: %.2f; "
        "vs curl+fsync: %.2f (file complete %.2f)\n",
        best / mgr.seconds, best / mgr.fileSeconds, k.seconds / mgr.seconds,
        kf.seconds / mgr.seconds, kf.seconds / mgr.fileSeconds);
  }
  // The engine is shut down here, not by the polling thread while the process exits.
  manager->stopAll();
  manager.reset();
  while (engine.use_count() > 1) {
    platform::PumpUiLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  engine.reset();
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return 0;
}
