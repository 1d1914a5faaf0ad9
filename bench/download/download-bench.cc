// Throughput and completion latency of a large download: through the engine library's C
// interface alone, through DownloadTaskMgr (reports through the Dispatcher to this thread's UI
// loop, as in the program), through aria2c with the same segmenting, and through curl on one
// connection (also with an fsync, since aria2 flushes the file when it completes and curl does
// not). Three links: 127.0.0.1 open; 127.0.0.1 capped per connection, where several
// connections should beat one by about their number; and a wide-area link between two network
// namespaces with a round trip of 40 ms and an overall rate cap (skipped, with a line saying
// why, where namespaces cannot be made).
//
// Latency is from the server's last write of the file to the report: the manager's message,
// the engine's first query that says complete, the peer's exit. Runs are interleaved (one of
// each in turn) and each figure is the median of the runs.
//
// Usage: download-bench [open MiB (512)] [capped MiB (64)] [cap MiB/s per connection (4)]
//                       [WAN MiB (128)] [WAN Mbit/s (400)] [runs (3)]
//        download-bench serve [open MiB] [capped MiB] [cap]: only serves, for trying peers

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/dispatcher.h"
#include "app/messages.h"
#include "bench/download/wan-link.h"
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
  double latency = 0;
  bool ok = false;
};

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The server's last write of a file, in the steady clock that this process also reads: the
// server is another process, and this is shared memory.
struct LastWrites {
  std::atomic<std::int64_t> open{0}, capped{0}, wan{0};
};

double SecondsSince(const std::atomic<std::int64_t>& lastWrite, Clock::time_point now) {
  return (std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count() -
          lastWrite.load()) /
         1e9;
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

// The server lives in a child process so that its work is not counted as the client's. It
// serves each file at `path` = (size, per-connection cap, where its last write is noted).
struct Served {
  std::string path;
  std::uint64_t size;
  std::uint64_t cap;
  std::atomic<std::int64_t>* lastWrite;
};

pid_t StartServer(
    const std::string& host, const std::vector<Served>& files, int* port,
    const std::function<bool()>& enter = [] { return true; }) {
  int pipes[2];
  if (pipe(pipes) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipes[0]);
    if (!enter()) _exit(1);
    HttpServer server(host);
    auto pattern = std::make_shared<const std::string>(Pattern());
    for (const Served& file : files) {
      HttpServer::File served{file.size, pattern, file.cap};
      served.lastWrite = file.lastWrite;
      server.AddFile(file.path, served);
    }
    int serverPort = server.port();
    if (write(pipes[1], &serverPort, sizeof(serverPort)) != sizeof(serverPort)) _exit(1);
    pause();
    _exit(0);
  }
  close(pipes[1]);
  bool ready = read(pipes[0], port, sizeof(*port)) == sizeof(*port);
  close(pipes[0]);
  return ready ? pid : -1;
}

void StopServer(pid_t server) {
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
}

// flush: also fsync the file before the clock stops.
Result RunProgram(std::vector<std::string> args, const std::string& output, std::uint64_t size,
                  const std::atomic<std::int64_t>& lastWrite, bool flush = false) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
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
  auto end = Clock::now();
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.latency = SecondsSince(lastWrite, end);
  result.cpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
  result.ok =
      flushed && WIFEXITED(status) && WEXITSTATUS(status) == 0 && SameAsServed(output, size);
  std::remove(output.c_str());
  return result;
}

// Through the engine's C interface alone, asking for the state every millisecond.
Result RunEngine(lumo::ThunderWrapper& engine, const std::string& url, const std::string& folder,
                 const std::string& name, std::uint64_t size,
                 const std::atomic<std::int64_t>& lastWrite) {
  double cpuBefore = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  XlHandle task = engine.CreateTask(*lumo::MakeTaskParam(url, folder, name));
  engine.StartTask(task);
  DownTaskInfo info;
  for (;;) {
    std::memset(&info, 0, sizeof(info));
    engine.QueryTaskInfo(task, &info);
    if (info.stat == kXlComplete || info.stat == kXlError) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  auto end = Clock::now();
  Result result;
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.latency = SecondsSince(lastWrite, end);
  result.cpuSeconds = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  std::string path = folder + "/" + name;
  result.ok = info.stat == kXlComplete && SameAsServed(path, size);
  std::remove(path.c_str());
  return result;
}

// Through the manager, as the program runs it: the report ends this thread's UI loop.
Result RunManager(lumo::DownloadTaskMgr& manager, lumo::platform::WindowHandle window,
                  const std::string& url, const std::string& folder, const std::string& key,
                  std::uint64_t size, const std::atomic<std::int64_t>& lastWrite) {
  using namespace lumo;
  std::string done;
  Clock::time_point end;
  Dispatcher::instance()->Register(MSG_DOWNLOAD_DONE, window, [&](const FileReady& file) {
    end = Clock::now();
    done = file.path;
    platform::QuitUiLoop(0);
  });
  double cpuBefore = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  manager.addTask(std::make_shared<DownloadTask>(key, url, folder, key + ".apk"));
  manager.startTask(key);
  platform::RunUiLoop();
  Result result;
  result.seconds = std::chrono::duration<double>(end - start).count();
  result.latency = SecondsSince(lastWrite, end);
  result.cpuSeconds = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  result.ok = SameAsServed(done, size);
  Dispatcher::instance()->Unregister(MSG_DOWNLOAD_DONE, window);
  std::remove(done.c_str());
  return result;
}

// The median of each figure on its own; a wrong file in any run marks the result wrong.
Result Median(std::vector<Result> runs) {
  auto median = [&](double Result::*field) {
    std::vector<double> values;
    for (const Result& run : runs) values.push_back(run.*field);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  Result result;
  result.seconds = median(&Result::seconds);
  result.cpuSeconds = median(&Result::cpuSeconds);
  result.latency = median(&Result::latency);
  result.ok = std::all_of(runs.begin(), runs.end(), [](const Result& r) { return r.ok; });
  return result;
}

void Print(const char* name, const Result& result, std::uint64_t size) {
  double gib = static_cast<double>(size) / (1024.0 * kMiB);
  std::printf("  %-22s %7.2f s %8.1f MiB/s %6.2f CPU s/GiB %7.1f ms latency  %s\n", name,
              result.seconds, static_cast<double>(size) / kMiB / result.seconds,
              result.cpuSeconds / gib, result.latency * 1000,
              result.ok ? "identical" : "WRONG FILE");
}

// One link: every contender once per run, in turn, so that the machine's moods fall on all.
struct Bench {
  lumo::ThunderWrapper* engine;
  lumo::DownloadTaskMgr* manager;
  lumo::platform::WindowHandle window;
  std::string folder;
  int runs;
  int index = 0;

  void Case(const std::string& title, const std::string& url, std::uint64_t size,
            const std::atomic<std::int64_t>& lastWrite) {
    std::printf("%s: %llu MiB\n", title.c_str(), static_cast<unsigned long long>(size / kMiB));
    std::fflush(stdout);
    std::string a = folder + "/a.bin", c = folder + "/c.bin";
    std::vector<std::string> aria2c = {"aria2c",
                                       "-q",
                                       "-x8",
                                       "-s8",
                                       "-k1M",
                                       "--file-allocation=none",
                                       "--allow-overwrite=true",
                                       "-d",
                                       folder,
                                       "-o",
                                       "a.bin",
                                       url};
    std::vector<std::string> curl = {"curl", "-sf", "-o", c, url};
    std::vector<Result> runsOf[5];
    for (int run = 0; run < runs; ++run) {
      std::string key = "bench" + std::to_string(index++);
      runsOf[0].push_back(RunEngine(*engine, url, folder, key + ".bin", size, lastWrite));
      runsOf[1].push_back(RunManager(*manager, window, url, folder, key, size, lastWrite));
      runsOf[2].push_back(RunProgram(aria2c, a, size, lastWrite));
      runsOf[3].push_back(RunProgram(curl, c, size, lastWrite));
      runsOf[4].push_back(RunProgram(curl, c, size, lastWrite, true));
      std::printf("  run %d, s (latency ms):", run + 1);
      for (auto& of : runsOf)
        std::printf(" %.2f (%.0f)", of.back().seconds, of.back().latency * 1e3);
      std::printf("\n");
    }
    Result r[5];
    for (int i = 0; i < 5; ++i) r[i] = Median(runsOf[i]);
    Print("engine (C interface)", r[0], size);
    Print("DownloadTaskMgr", r[1], size);
    Print("aria2c -x8 -s8", r[2], size);
    Print("curl", r[3], size);
    Print("curl, then fsync", r[4], size);
    std::printf(
        "  vs aria2c: engine %.2f, manager %.2f; manager vs curl %.2f, vs curl+fsync %.2f\n",
        r[2].seconds / r[0].seconds, r[2].seconds / r[1].seconds, r[3].seconds / r[1].seconds,
        r[4].seconds / r[1].seconds);
    std::fflush(stdout);
  }
};

// The manager ends on another thread, as its polling thread's last report may wait for this
// one's loop; the engine is shut down here.
void Release(std::shared_ptr<lumo::DownloadTaskMgr>* manager,
             std::shared_ptr<lumo::ThunderWrapper>* engine) {
  std::thread ender([owned = std::move(*manager)]() mutable {
    owned->stopAll();
    owned->end();
    owned.reset();
  });
  while (engine->use_count() > 1) {
    lumo::platform::PumpUiLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ender.join();
  engine->reset();
}

std::shared_ptr<lumo::ThunderWrapper> LoadEngine() {
  return lumo::ThunderWrapper::load(std::string(LUMO_PROGRAM_DIR) + "/" +
                                    lumo::platform::SharedLibraryFileName("xldl"));
}

}  // namespace

int main(int argc, char** argv) {
  bool serveOnly = argc > 1 && std::string(argv[1]) == "serve";
  if (serveOnly) --argc, ++argv;
  auto arg = [&](int i, long long fallback) { return argc > i ? std::atoll(argv[i]) : fallback; };
  std::uint64_t openSize = arg(1, 512) * kMiB;
  std::uint64_t cappedSize = arg(2, 64) * kMiB;
  std::uint64_t cap = arg(3, 4) * kMiB;
  std::uint64_t wanSize = arg(4, 128) * kMiB;
  std::uint64_t wanBits = arg(5, 400) * 1000000;
  int runs = static_cast<int>(arg(6, 3));
  // Throughput of nothing means nothing, and a zero cap would be no cap.
  if (openSize == 0 || cappedSize == 0 || cap == 0 || wanSize == 0 || wanBits == 0 || runs < 1) {
    std::fprintf(stderr,
                 "usage: download-bench [serve] [open MiB] [capped MiB] [cap MiB/s] [WAN MiB] "
                 "[WAN Mbit/s] [runs], each at least 1\n");
    return 2;
  }
  auto* lastWrites = static_cast<LastWrites*>(
      mmap(nullptr, sizeof(LastWrites), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (lastWrites == MAP_FAILED) return 1;
  new (lastWrites) LastWrites;
  int port = 0;
  pid_t server = StartServer("127.0.0.1",
                             {{"/open.bin", openSize, 0, &lastWrites->open},
                              {"/capped.bin", cappedSize, cap, &lastWrites->capped}},
                             &port);
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
  // Reports reach the window's handlers as calls; its procedure has nothing to serve.
  platform::WindowHandle window =
      platform::CreateMessageWindow("Bench", "bench", [](auto, auto, auto) { return false; });
  auto engine = LoadEngine();
  auto manager = DownloadTaskMgr::Create(engine);
  if (!manager->available()) return 1;
  test::TempDir dir;
  Bench bench{engine.get(), manager.get(), window, dir.path(), runs};
  bench.Case("open link (127.0.0.1)", base + "/open.bin", openSize, lastWrites->open);
  bench.Case("capped link (127.0.0.1, " + std::to_string(cap / kMiB) + " MiB/s per connection)",
             base + "/capped.bin", cappedSize, lastWrites->capped);
  Release(&manager, &engine);
  StopServer(server);

  // The engine thread is made anew inside the client's namespace: a thread keeps the
  // namespace of the thread that started it.
  bench::WanLink link(std::chrono::milliseconds(40), wanBits);
  std::string error;
  std::string title =
      "WAN link (40 ms round trip, " + std::to_string(wanBits / 1000000) + " Mbit/s overall)";
  if (!link.Up(&error) || !link.EnterClient()) {
    std::printf("%s: skipped: %s\n", title.c_str(), error.empty() ? "no namespace" : error.c_str());
    return 0;
  }
  server = StartServer(bench::WanLink::kServerAddress, {{"/wan.bin", wanSize, 0, &lastWrites->wan}},
                       &port, [&link] { return link.EnterServer(); });
  if (server <= 0) {
    std::printf("%s: skipped: the server cannot start in its namespace\n", title.c_str());
    return 0;
  }
  engine = LoadEngine();
  manager = DownloadTaskMgr::Create(engine);
  if (!manager->available()) return 1;
  bench.engine = engine.get();
  bench.manager = manager.get();
  bench.Case(title,
             "http://" + std::string(bench::WanLink::kServerAddress) + ":" + std::to_string(port) +
                 "/wan.bin",
             wanSize, lastWrites->wan);
  Release(&manager, &engine);
  StopServer(server);
  return 0;
}
