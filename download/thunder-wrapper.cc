#include "download/thunder-wrapper.h"

#include "app/log.h"
#include "app/paths.h"

namespace lumo {

namespace {

template <typename Fn>
void ResolveOne(const platform::DynamicLibrary& module, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(module.Symbol(name));
}

}  // namespace

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
  if (initialized_ && xlUnInit) xlUnInit();
}

void ThunderWrapper::Resolve() {
  ResolveOne(module_, "XL_Init", &xlInit);
  ResolveOne(module_, "XL_UnInit", &xlUnInit);
  ResolveOne(module_, "XL_CreateTask", &xlCreateTask);
  ResolveOne(module_, "XL_DeleteTask", &xlDeleteTask);
  ResolveOne(module_, "XL_StartTask", &xlStartTask);
  ResolveOne(module_, "XL_StopTask", &xlStopTask);
  ResolveOne(module_, "XL_QueryTaskInfo", &xlQueryTaskInfo);
  ResolveOne(module_, "XL_QueryTaskInfoEx", &xlQueryTaskInfoEx);
  ResolveOne(module_, "XL_SetSpeedLimit", &xlSetSpeedLimit);
  ResolveOne(module_, "XL_SetUploadSpeedLimit", &xlSetUploadSpeedLimit);
  ResolveOne(module_, "XL_DelTempFile", &xlDelTempFile);
  ResolveOne(module_, "XL_SetProxy", &xlSetProxy);
  ResolveOne(module_, "XL_SetUserAgent", &xlSetUserAgent);
  ResolveOne(module_, "XL_GetFileSizeWithUrl", &xlGetFileSizeWithUrl);
  ResolveOne(module_, "XL_ParseThunderPrivateUrl", &xlParseThunderPrivateUrl);
  ResolveOne(module_, "XL_SetAdditionInfo", &xlSetAdditionInfo);
  ResolveOne(module_, "XL_SetFileIdAndSize", &xlSetFileIdAndSize);
}

bool ThunderWrapper::Init() {
  if (!xlInit) return false;
  initialized_ = xlInit() != 0;
  if (!initialized_) Log::instance()->write("the download engine did not start.");
  return initialized_;
}

XlHandle ThunderWrapper::CreateTask(const DownTaskParam& param) {
  return xlCreateTask ? xlCreateTask(&param) : nullptr;
}

bool ThunderWrapper::StartTask(XlHandle task) {
  return xlStartTask && xlStartTask(task) != 0;
}

void ThunderWrapper::StopTask(XlHandle task) {
  if (xlStopTask) xlStopTask(task);
}

void ThunderWrapper::QueryTaskInfo(XlHandle task, DownTaskInfo* info) {
  if (xlQueryTaskInfo) xlQueryTaskInfo(task, info);
}

}  // namespace lumo
