#pragma once

#include <memory>
#include <string>

#include "platform/dynamic-library.h"

namespace lumo {

// Usage events for the statistics library, which is loaded at run time from the program
// folder. Without the library or one of its entry points, the calls are skipped.
// UI thread only.
class DataStat {
 public:
  using SendLogFn = void (*)(int eventId, const char* text, int value);
  using AppLogExitFn = void (*)();

  static std::shared_ptr<DataStat> instance();

  // Loads the library from the executable's folder and resolves its two entry points.
  void init();
  void initFrom(const std::string& libraryPath);
  // Unloads the library; harmless when nothing is loaded.
  void Free();

  bool hasSendLog() const { return sendLog_ != nullptr; }
  bool hasAppLogExit() const { return appLogExit_ != nullptr; }
  void SendLog(int eventId, const char* text = nullptr, int value = 0) const;
  void AppLogExit() const;

 private:
  platform::DynamicLibrary module_;
  SendLogFn sendLog_ = nullptr;
  AppLogExitFn appLogExit_ = nullptr;
};

// Reports an event through the one DataStat; `packageName` may be empty for none.
void ReportEvent(int eventId, const std::string& packageName = {}, int value = 0);

}  // namespace lumo
