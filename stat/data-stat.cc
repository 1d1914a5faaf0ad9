#include "stat/data-stat.h"

#include "app/paths.h"

namespace lumo {

std::shared_ptr<DataStat> DataStat::instance() {
  static std::shared_ptr<DataStat> stat = std::make_shared<DataStat>();
  return stat;
}

void DataStat::init() {
  initFrom(PathJoin(ExeDir(), platform::SharedLibraryFileName("StatSink")));
}

void DataStat::initFrom(const std::string& libraryPath) {
  module_ = platform::DynamicLibrary(libraryPath);
  if (!module_.IsLoaded()) return;
  module_.Bind("SendLog", &sendLog_);
  module_.Bind("AppLogExit", &appLogExit_);
}

void DataStat::Free() {
  sendLog_ = nullptr;
  appLogExit_ = nullptr;
  module_.Free();
}

void DataStat::SendLog(int eventId, const char* text, int value) const {
  if (sendLog_) sendLog_(eventId, text, value);
}

void DataStat::AppLogExit() const {
  if (appLogExit_) appLogExit_();
}

void ReportEvent(int eventId, const std::string& packageName, int value) {
  DataStat::instance()->SendLog(eventId, packageName.empty() ? nullptr : packageName.c_str(),
                                value);
}

}  // namespace lumo
