// Time and peak memory (GNU time's maximum resident set size) of inspecting a big APK with lumo-apk
// (badging read through aapt plus icon extraction), beside the two peers doing the same work on the
// same file in the same run: "aapt dump badging" (reading) and "unzip -p" of the icon entry
// (extracting). Two APK sizes show whether memory grows with the APK's size.
//
//   apk-bench [work-folder] [payload-MiB ...]     (defaults: $TMPDIR or /tmp, 128 and 512)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <errno.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "store/apk-builder.h"

extern char** environ;

namespace {

struct Sample {
  double seconds = 0;
  long peakKib = 0;  // the child's own peak resident set
  int status = -1;
};

std::string peakFile;

// One child run with its output discarded, under GNU time for its peak memory: a child's own
// rusage would also count the memory of this process, which the spawn shares until exec.
Sample RunOnce(const std::vector<std::string>& command) {
  std::vector<std::string> argv = {"/usr/bin/time", "-f", "%M", "-o", peakFile};
  argv.insert(argv.end(), command.begin(), command.end());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  Sample sample;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    sample.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream peak(peakFile);
    peak >> sample.peakKib;
  }
  sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return sample;
}

// Median time and largest peak of each command over several rounds. The commands take turns
// within a round, so load from elsewhere on the machine falls on all of them alike; a first
// round warms the page cache and is not counted.
std::vector<Sample> Measure(const std::vector<std::vector<std::string>>& commands, int rounds) {
  std::vector<std::vector<Sample>> samples(commands.size());
  for (int round = 0; round <= rounds; ++round) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      Sample sample = RunOnce(commands[i]);
      if (round > 0) samples[i].push_back(sample);
    }
  }
  std::vector<Sample> results;
  for (std::vector<Sample>& runs : samples) {
    std::sort(runs.begin(), runs.end(),
              [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
    Sample result = runs[runs.size() / 2];
    for (const Sample& s : runs) result.peakKib = std::max(result.peakKib, s.peakKib);
    for (const Sample& s : runs) result.status = std::max(result.status, s.status);
    results.push_back(result);
  }
  return results;
}

void Report(const char* what, const Sample& s, const Sample& lumo) {
  std::printf("  %-28s %9.1f ms %9.1f MiB   lumo-apk/this: time %5.2f  memory %5.2f%s\n", what,
              s.seconds * 1000, static_cast<double>(s.peakKib) / 1024.0, lumo.seconds / s.seconds,
              static_cast<double>(lumo.peakKib) / static_cast<double>(s.peakKib),
              s.status == 0 ? "" : "  (exit status not 0!)");
}

bool BenchOne(const std::string& folder, std::uint64_t mebibytes) {
  lumo::store::ApkSpec recipe;
  recipe.packageName = "com.lumo.bench";
  recipe.chineseLabel = "基准";
  recipe.iconDensities = {160, 240, 320};
  recipe.nativeAbis = {"arm64-v8a", "armeabi-v7a", "x86_64"};
  recipe.payloadBytes = mebibytes << 20;
  const std::string apk = folder + "/bench-" + std::to_string(mebibytes) + ".apk";
  std::string error;
  if (!lumo::store::BuildApk(recipe, apk, &error)) {
    std::fprintf(stderr, "cannot build %s: %s\n", apk.c_str(), error.c_str());
    return false;
  }
  const std::string icons = folder + "/icons";
  const std::string entry = lumo::store::IconEntryName(recipe, 240);
  const int runs = 9;
  std::vector<Sample> results = Measure({{LUMO_PROGRAM_DIR "/lumo-apk", apk, icons},
                                         {"/usr/bin/aapt", "dump", "badging", apk},
                                         {"/usr/bin/unzip", "-p", apk, entry}},
                                        runs);
  const Sample& lumo = results[0];
  const Sample& aapt = results[1];
  const Sample& unzip = results[2];
  std::printf("APK of %.1f MiB (median of %d runs, peak resident memory):\n",
              static_cast<double>(std::filesystem::file_size(apk)) / (1 << 20), runs);
  Report("lumo-apk read + extract", lumo, lumo);
  Report("aapt dump badging", aapt, lumo);
  Report("unzip -p icon entry", unzip, lumo);
  Report("aapt + unzip together",
         Sample{aapt.seconds + unzip.seconds, std::max(aapt.peakKib, unzip.peakKib), 0}, lumo);
  std::filesystem::remove(apk);
  return lumo.status == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  std::vector<std::uint64_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {128, 512};
  const std::string folder = base + "/lumo-apk-bench";
  std::filesystem::create_directories(folder);
  peakFile = folder + "/peak.txt";
  bool ok = true;
  for (std::uint64_t size : sizes) ok = BenchOne(folder, size) && ok;
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}
