#pragma once

#include <memory>
#include <string>

#include "components/xldl/xldl.h"
#include "platform/dynamic-library.h"

namespace lumo {

// The engine's record for a resumable download of `url` into saveFolder/fileName, texts
// converted to the engine's wide characters (cut to fit, always terminated). The record is
// large; it stays off the caller's stack.
std::unique_ptr<DownTaskParam> MakeTaskParam(const std::string& url, const std::string& saveFolder,
                                             const std::string& fileName);

// The file name the engine reports for a task, as UTF-8 (it may fill the whole field).
std::string TaskFileName(const DownTaskInfo& info);

// The adapter over the download engine library, loaded at run time. Every entry point is
// checked before each call: one the library does not export makes its call a no-op (a
// create yields no handle, the others false). Calls come from the UI thread and the download
// polling thread. Most are made under the download manager's lock, but addTask creates the
// engine task before taking it, so calls may overlap: the engine serialises them itself.
class ThunderWrapper {
 public:
  // The error text when the library is missing; it is kept as the engine's users know it.
  static constexpr const char* kLoadError = "can not load xldl.dll";

  // Loads the engine from the program folder; null (with the error logged) when it cannot
  // be loaded. `libraryPath` overrides the file, for tests.
  static std::shared_ptr<ThunderWrapper> load(std::string* error = nullptr);
  static std::shared_ptr<ThunderWrapper> load(const std::string& libraryPath,
                                              std::string* error = nullptr);
  static std::string DefaultLibraryPath();

  // Shuts the engine down first when Init succeeded, so that it ends exactly once and
  // before the library is unloaded, whoever drops the last reference.
  virtual ~ThunderWrapper();
  ThunderWrapper(const ThunderWrapper&) = delete;
  ThunderWrapper& operator=(const ThunderWrapper&) = delete;

  // Once started, the engine's own lines go to Lumo's log.
  bool Init();
  XlHandle CreateTask(const DownTaskParam& param);
  bool StartTask(XlHandle task);
  void StopTask(XlHandle task);
  void QueryTaskInfo(XlHandle task, DownTaskInfo* info);
  // A download is likely soon: the engine readies what it needs to start one.
  void Prepare();
  // False when the engine cannot call back (an engine without the export): its caller then
  // has to query on a timer.
  bool SetChangeCallback(XlChangeFn fn, void* context);

 private:
  explicit ThunderWrapper(platform::DynamicLibrary module);
  void Resolve();

  // The entry points as resolved; null for one the library does not export.
  XlInitFn xlInit_ = nullptr;
  XlUnInitFn xlUnInit_ = nullptr;
  XlCreateTaskFn xlCreateTask_ = nullptr;
  XlDeleteTaskFn xlDeleteTask_ = nullptr;
  XlStartTaskFn xlStartTask_ = nullptr;
  XlStopTaskFn xlStopTask_ = nullptr;
  XlQueryTaskInfoFn xlQueryTaskInfo_ = nullptr;
  XlQueryTaskInfoExFn xlQueryTaskInfoEx_ = nullptr;
  XlSetSpeedLimitFn xlSetSpeedLimit_ = nullptr;
  XlSetUploadSpeedLimitFn xlSetUploadSpeedLimit_ = nullptr;
  XlDelTempFileFn xlDelTempFile_ = nullptr;
  XlSetProxyFn xlSetProxy_ = nullptr;
  XlSetUserAgentFn xlSetUserAgent_ = nullptr;
  XlGetFileSizeWithUrlFn xlGetFileSizeWithUrl_ = nullptr;
  XlParseThunderPrivateUrlFn xlParseThunderPrivateUrl_ = nullptr;
  XlSetAdditionInfoFn xlSetAdditionInfo_ = nullptr;
  XlSetFileIdAndSizeFn xlSetFileIdAndSize_ = nullptr;
  // Our engine's additions to the published seventeen.
  XlSetChangeCallbackFn xlSetChangeCallback_ = nullptr;
  XlSetLogCallbackFn xlSetLogCallback_ = nullptr;
  XlPrepareFn xlPrepare_ = nullptr;

  platform::DynamicLibrary module_;
  bool initialized_ = false;
};

}  // namespace lumo
