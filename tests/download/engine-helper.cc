#include "tests/download/engine-helper.h"

#include <chrono>
#include <cstring>
#include <future>
#include <sys/stat.h>
#include <thread>

#include "tests/support/wait.h"

namespace lumo::test {

std::string EngineLibraryPath() {
  return std::string(LUMO_PROGRAM_DIR) + "/" + platform::SharedLibraryFileName("xldl");
}

std::shared_ptr<ThunderWrapper> LoadEngine() {
  return ThunderWrapper::load(EngineLibraryPath());
}

DownTaskInfo WaitForEnd(ThunderWrapper& engine, XlHandle task, int timeoutSeconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  DownTaskInfo info;
  while (std::chrono::steady_clock::now() < deadline) {
    std::memset(&info, 0, sizeof(info));
    info.stat = kXlPaused;
    engine.QueryTaskInfo(task, &info);
    if (info.stat == kXlComplete || info.stat == kXlError) return info;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::memset(&info, 0, sizeof(info));
  return info;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

bool ReleaseManager(std::shared_ptr<DownloadTaskMgr>* manager,
                    std::shared_ptr<ThunderWrapper>* engine) {
  // Ended on another thread: the polling thread's last report may wait for this one's loop.
  auto ended = std::async(std::launch::async, [owned = std::move(*manager)]() mutable {
    owned->stopAll();
    owned->end();
    owned.reset();
  });
  bool released = WaitFor(
      [&] {
        return ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
               engine->use_count() == 1;
      },
      std::chrono::seconds(30), true);
  engine->reset();
  return released;
}

}  // namespace lumo::test
