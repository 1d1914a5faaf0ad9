#include "tests/download/engine-helper.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <thread>

#include "app/strings.h"
#include "tests/support/wait.h"

namespace lumo::test {

namespace {

template <std::size_t N>
void Copy(const std::string& text, XlChar (&field)[N]) {
  std::u16string wide = Utf8ToUtf16(text);
  std::size_t length = std::min(wide.size(), N - 1);
  std::copy_n(wide.data(), length, field);
  field[length] = 0;
}

}  // namespace

std::string EngineLibraryPath() {
  return std::string(LUMO_PROGRAM_DIR) + "/" + platform::SharedLibraryFileName("xldl");
}

std::shared_ptr<ThunderWrapper> LoadEngine() {
  return ThunderWrapper::load(EngineLibraryPath());
}

DownTaskParam MakeTaskParam(const std::string& url, const std::string& folder,
                            const std::string& fileName) {
  DownTaskParam param;
  std::memset(&param, 0, sizeof(param));
  Copy(url, param.szTaskUrl);
  Copy(folder, param.szSavePath);
  Copy(fileName, param.szFilename);
  param.nReserved1 = 5;
  param.IsResume = 1;
  return param;
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

std::string InfoFileName(const DownTaskInfo& info) {
  std::size_t length = 0;
  while (length < std::size(info.szFilename) && info.szFilename[length] != 0) ++length;
  return Utf16ToUtf8(std::u16string(info.szFilename, length));
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

bool ReleaseManager(std::shared_ptr<DownloadTaskMgr>* manager,
                    std::shared_ptr<ThunderWrapper>* engine) {
  (*manager)->stopAll();
  std::weak_ptr<DownloadTaskMgr> weak = *manager;
  manager->reset();
  bool released = WaitFor([&] { return weak.expired() && engine->use_count() == 1; },
                          std::chrono::seconds(30), true);
  engine->reset();
  return released;
}

}  // namespace lumo::test
