// The exported C functions of the download engine. Six of the published ones drive the
// engine, and XL_SetChangeCallback, XL_SetLogCallback and XL_Prepare are this engine's own
// additions; the other
// published ones are not offered by this engine and answer as an unsupported call: false, nothing
// done.

#include "components/xldl/xldl.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <string>

#include "app/strings.h"
#include "components/xldl/engine-client.h"

#define XL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gEngineLock;
std::shared_ptr<xldl::EngineClient> gEngine;
int gInitCount = 0;

std::shared_ptr<xldl::EngineClient> CurrentEngine() {
  std::lock_guard<std::mutex> lock(gEngineLock);
  return gEngine;
}

// The engine's process is the program xldl-engine beside this library.
std::string EngineProgram() {
  Dl_info self{};
  if (::dladdr(reinterpret_cast<void*>(&EngineProgram), &self) == 0 || !self.dli_fname)
    return std::string();
  std::string path = self.dli_fname;
  auto slash = path.find_last_of('/');
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/xldl-engine";
}

// Reads a fixed-size field that a caller may have left without a terminator.
std::u16string FieldText(const XlChar* field, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && field[length] != 0) ++length;
  return std::u16string(field, length);
}

template <std::size_t N>
void CopyField(const std::string& text, XlChar (&field)[N]) {
  std::u16string wide = lumo::Utf8ToUtf16(text);
  std::size_t length = std::min(wide.size(), N - 1);
  std::copy_n(wide.data(), length, field);
  field[length] = 0;
}

}  // namespace

XL_EXPORT XlBool XL_Init() {
  std::lock_guard<std::mutex> lock(gEngineLock);
  if (gInitCount == 0) {
    auto engine = std::make_shared<xldl::EngineClient>(EngineProgram());
    if (!engine->Start()) return 0;
    gEngine = std::move(engine);
  }
  ++gInitCount;
  return 1;
}

XL_EXPORT XlBool XL_UnInit() {
  std::shared_ptr<xldl::EngineClient> last;
  {
    std::lock_guard<std::mutex> lock(gEngineLock);
    if (gInitCount == 0) return 0;
    if (--gInitCount == 0) last = std::move(gEngine);
  }
  // Ends the engine's process, which writes the control files of unfinished downloads.
  last.reset();
  return 1;
}

XL_EXPORT XlHandle XL_CreateTask(const DownTaskParam* param) {
  auto engine = CurrentEngine();
  if (!engine || !param) return nullptr;
  xldl::TaskSpec recipe;
  recipe.url = lumo::Utf16ToUtf8(FieldText(param->szTaskUrl, std::size(param->szTaskUrl)));
  recipe.fileName = lumo::Utf16ToUtf8(FieldText(param->szFilename, std::size(param->szFilename)));
  recipe.saveFolder = lumo::Utf16ToUtf8(FieldText(param->szSavePath, std::size(param->szSavePath)));
  return reinterpret_cast<XlHandle>(engine->CreateTask(std::move(recipe)));
}

XL_EXPORT XlBool XL_StartTask(XlHandle task) {
  auto engine = CurrentEngine();
  return engine && engine->StartTask(reinterpret_cast<std::uintptr_t>(task)) ? 1 : 0;
}

XL_EXPORT XlBool XL_StopTask(XlHandle task) {
  auto engine = CurrentEngine();
  return engine && engine->StopTask(reinterpret_cast<std::uintptr_t>(task)) ? 1 : 0;
}

XL_EXPORT XlBool XL_QueryTaskInfo(XlHandle task, DownTaskInfo* info) {
  auto engine = CurrentEngine();
  xldl::TaskSnapshot snapshot;
  if (!engine || !info || !engine->Query(reinterpret_cast<std::uintptr_t>(task), &snapshot)) {
    return 0;
  }
  std::memset(info, 0, sizeof(*info));
  info->stat = snapshot.state;
  info->fail_code = snapshot.failCode;
  CopyField(snapshot.fileName, info->szFilename);
  info->nTotalSize = snapshot.totalLength;
  info->nTotalDownload = snapshot.completedLength;
  info->fPercent = snapshot.totalLength > 0
                       ? static_cast<float>(static_cast<double>(snapshot.completedLength) /
                                            static_cast<double>(snapshot.totalLength))
                       : (snapshot.state == kXlComplete ? 1.0f : 0.0f);
  // One source only: every byte comes from the origin server.
  info->nSpeed = snapshot.speed;
  info->nSpeedP2S = 0;
  info->nSpeedP2P = 0;
  info->bIsOriginUsable = snapshot.state != kXlError;
  return 1;
}

XL_EXPORT XlBool XL_SetChangeCallback(XlChangeFn fn, void* context) {
  auto engine = CurrentEngine();
  if (!engine) return 0;
  engine->SetChangeCallback(fn, context);
  return 1;
}

// Starts the engine's process ahead of a download, for a while.
XL_EXPORT XlBool XL_Prepare() {
  auto engine = CurrentEngine();
  if (!engine) return 0;
  engine->Prepare();
  return 1;
}

XL_EXPORT XlBool XL_SetLogCallback(XlLogFn fn, void* context) {
  auto engine = CurrentEngine();
  if (!engine) return 0;
  engine->SetLogCallback(fn, context);
  return 1;
}

// Not offered by this engine.
XL_EXPORT XlBool XL_DeleteTask(XlHandle) {
  return 0;
}
XL_EXPORT XlBool XL_QueryTaskInfoEx(XlHandle, DownTaskInfo*) {
  return 0;
}
XL_EXPORT void XL_SetSpeedLimit(std::int32_t) {}
XL_EXPORT void XL_SetUploadSpeedLimit(std::int32_t, std::int32_t) {}
XL_EXPORT XlBool XL_DelTempFile(const DownTaskParam*) {
  return 0;
}
XL_EXPORT XlBool XL_SetProxy(const void*) {
  return 0;
}
XL_EXPORT void XL_SetUserAgent(const XlChar*) {}
XL_EXPORT XlBool XL_GetFileSizeWithUrl(const XlChar*, std::int64_t* size) {
  if (size) *size = 0;
  return 0;
}
XL_EXPORT XlBool XL_ParseThunderPrivateUrl(const XlChar*, XlChar* realUrl, std::int32_t length) {
  if (realUrl && length > 0) realUrl[0] = 0;
  return 0;
}
XL_EXPORT XlBool XL_SetAdditionInfo(XlHandle, const void*) {
  return 0;
}
XL_EXPORT XlBool XL_SetFileIdAndSize(XlHandle, const char*, std::int64_t) {
  return 0;
}
