#include "download/thunder-wrapper.h"

#include <algorithm>
#include <cstring>

#include "app/log.h"
#include "app/paths.h"
#include "app/strings.h"

namespace lumo {

namespace {

template <std::size_t N>
void CopyWide(const std::string& text, XlChar (&field)[N]) {
  std::u16string wide = Utf8ToUtf16(text);
  std::size_t length = std::min(wide.size(), N - 1);
  std::copy_n(wide.data(), length, field);
  field[length] = 0;
}

// Called on the engine's thread; the log copies the line before the call returns.
void WriteEngineLine(void*, const char* line) {
  Log::instance()->write("download engine: %s", line);
}

}  // namespace

std::unique_ptr<DownTaskParam> MakeTaskParam(const std::string& url, const std::string& saveFolder,
                                             const std::string& fileName) {
  auto param = std::make_unique<DownTaskParam>();
  std::memset(param.get(), 0, sizeof(DownTaskParam));
  CopyWide(url, param->szTaskUrl);
  CopyWide(fileName, param->szFilename);
  CopyWide(saveFolder, param->szSavePath);
  param->bReserved = 0;
  param->IsOnlyOriginal = 0;
  param->nReserved1 = 5;
  param->DisableAutoRename = 0;
  param->IsResume = 1;
  return param;
}

std::string TaskFileName(const DownTaskInfo& info) {
  std::size_t length = 0;
  while (length < std::size(info.szFilename) && info.szFilename[length] != 0) ++length;
  return Utf16ToUtf8(std::u16string(info.szFilename, length));
}

std::string ThunderWrapper::DefaultLibraryPath() {
  return PathJoin(ExeDir(), platform::SharedLibraryFileName("xldl"));
}

std::shared_ptr<ThunderWrapper> ThunderWrapper::load(std::string* error) {
  return load(DefaultLibraryPath(), error);
}

std::shared_ptr<ThunderWrapper> ThunderWrapper::load(const std::string& libraryPath,
                                                     std::string* error) {
  platform::DynamicLibrary module(libraryPath);
  if (!module.IsLoaded()) {
    Log::instance()->write("%s [%s]", kLoadError, module.Error().c_str());
    if (error) *error = kLoadError;
    return nullptr;
  }
  std::shared_ptr<ThunderWrapper> wrapper(new ThunderWrapper(std::move(module)));
  wrapper->Resolve();
  return wrapper;
}

ThunderWrapper::ThunderWrapper(platform::DynamicLibrary module) : module_(std::move(module)) {}

ThunderWrapper::~ThunderWrapper() {
  if (initialized_ && xlUnInit_ && xlUnInit_())
    Log::instance()->write("download engine shut down.");
}

void ThunderWrapper::Resolve() {
  module_.Bind("XL_Init", &xlInit_);
  module_.Bind("XL_UnInit", &xlUnInit_);
  module_.Bind("XL_CreateTask", &xlCreateTask_);
  module_.Bind("XL_DeleteTask", &xlDeleteTask_);
  module_.Bind("XL_StartTask", &xlStartTask_);
  module_.Bind("XL_StopTask", &xlStopTask_);
  module_.Bind("XL_QueryTaskInfo", &xlQueryTaskInfo_);
  module_.Bind("XL_QueryTaskInfoEx", &xlQueryTaskInfoEx_);
  module_.Bind("XL_SetSpeedLimit", &xlSetSpeedLimit_);
  module_.Bind("XL_SetUploadSpeedLimit", &xlSetUploadSpeedLimit_);
  module_.Bind("XL_DelTempFile", &xlDelTempFile_);
  module_.Bind("XL_SetProxy", &xlSetProxy_);
  module_.Bind("XL_SetUserAgent", &xlSetUserAgent_);
  module_.Bind("XL_GetFileSizeWithUrl", &xlGetFileSizeWithUrl_);
  module_.Bind("XL_ParseThunderPrivateUrl", &xlParseThunderPrivateUrl_);
  module_.Bind("XL_SetAdditionInfo", &xlSetAdditionInfo_);
  module_.Bind("XL_SetFileIdAndSize", &xlSetFileIdAndSize_);
  module_.Bind("XL_SetChangeCallback", &xlSetChangeCallback_);
  module_.Bind("XL_SetLogCallback", &xlSetLogCallback_);
  module_.Bind("XL_Prepare", &xlPrepare_);
}

bool ThunderWrapper::Init() {
  if (!xlInit_) return false;
  initialized_ = xlInit_() != 0;
  if (!initialized_) {
    Log::instance()->write("the download engine did not start.");
    return false;
  }
  if (xlSetLogCallback_) xlSetLogCallback_(&WriteEngineLine, nullptr);
  return true;
}

XlHandle ThunderWrapper::CreateTask(const DownTaskParam& param) {
  return xlCreateTask_ ? xlCreateTask_(&param) : nullptr;
}

bool ThunderWrapper::StartTask(XlHandle task) {
  return xlStartTask_ && xlStartTask_(task) != 0;
}

void ThunderWrapper::StopTask(XlHandle task) {
  if (xlStopTask_) xlStopTask_(task);
}

void ThunderWrapper::QueryTaskInfo(XlHandle task, DownTaskInfo* info) {
  if (xlQueryTaskInfo_) xlQueryTaskInfo_(task, info);
}

void ThunderWrapper::Prepare() {
  if (xlPrepare_) xlPrepare_();
}

bool ThunderWrapper::SetChangeCallback(XlChangeFn fn, void* context) {
  return xlSetChangeCallback_ && xlSetChangeCallback_(fn, context) != 0;
}

}  // namespace lumo
