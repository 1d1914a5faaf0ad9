// Downloads one file through the engine library and prints its progress, one line a tenth
// of a second: "<state> <completed bytes> <total bytes>". Exits 0 when the file is
// complete, 1 when the task failed. Tests kill it halfway to check that a new process
// resumes the file.
// Usage: engine-download-program <engine library> <url> <folder> <file name>

#include <cstdio>
#include <cstring>
#include <thread>

#include "tests/download/engine-helper.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  auto engine = lumo::ThunderWrapper::load(argv[1]);
  if (!engine || !engine->Init()) return 3;
  auto param = lumo::MakeTaskParam(argv[2], argv[3], argv[4]);
  XlHandle task = engine->CreateTask(*param);
  if (!engine->StartTask(task)) return 4;
  for (;;) {
    DownTaskInfo info;
    std::memset(&info, 0, sizeof(info));
    engine->QueryTaskInfo(task, &info);
    std::printf("%d %lld %lld\n", info.stat, static_cast<long long>(info.nTotalDownload),
                static_cast<long long>(info.nTotalSize));
    std::fflush(stdout);
    if (info.stat == kXlComplete) return 0;
    if (info.stat == kXlError) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
