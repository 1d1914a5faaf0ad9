#include "tests/download/report-window.h"

#include "app/dispatcher.h"
#include "app/messages.h"
#include "platform/ui-loop.h"
#include "tests/support/wait.h"

namespace lumo::test {

ReportWindow::ReportWindow() {
  platform::MarkUiThread();
  window_ = platform::CreateMessageWindow("LumoDownloadTest", "reports",
                                          [](auto, auto, auto) { return false; });
  auto record = [this](const Message<FileReady>& message) {
    Dispatcher::instance()->Register(message, window_, [this, message](const FileReady& file) {
      reports_.push_back({message.id, file.key, file.path, 0, 0, platform::IsUiThread()});
    });
  };
  record(MSG_DOWNLOAD_DONE);
  record(MSG_ICON_READY);
  Dispatcher::instance()->Register(MSG_DOWNLOAD_PROGRESS, window_, [this](const auto& progress) {
    reports_.push_back({MSG_DOWNLOAD_PROGRESS.id, progress.key, progress.speed, progress.fraction,
                        0, platform::IsUiThread()});
  });
  Dispatcher::instance()->Register(MSG_DOWNLOAD_FAILED, window_, [this](const auto& failed) {
    reports_.push_back(
        {MSG_DOWNLOAD_FAILED.id, failed.key, "", 0, failed.code, platform::IsUiThread()});
  });
}

ReportWindow::~ReportWindow() {
  for (std::uint32_t message :
       {MSG_DOWNLOAD_PROGRESS.id, MSG_DOWNLOAD_DONE.id, MSG_DOWNLOAD_FAILED.id, MSG_ICON_READY.id})
    Dispatcher::instance()->Unregister(message, window_);
  platform::DestroyMessageWindow(window_);
}

std::vector<ReportWindow::Report> ReportWindow::Of(std::uint32_t message,
                                                   const std::string& key) const {
  std::vector<Report> found;
  for (const Report& report : reports_) {
    if (report.message == message && (key.empty() || report.key == key)) found.push_back(report);
  }
  return found;
}

bool ReportWindow::WaitFor(std::uint32_t message, const std::string& key, int seconds) const {
  return test::WaitFor([&] { return !Of(message, key).empty(); }, std::chrono::seconds(seconds),
                       true);
}

}  // namespace lumo::test
