#include "tests/download/report-window.h"

#include "app/dispatcher.h"
#include "app/messages.h"
#include "download/download-task-mgr.h"
#include "platform/ui-loop.h"
#include "tests/support/wait.h"

namespace lumo::test {

namespace {

const std::uint32_t kMessages[] = {MSG_DOWNLOAD_PROGRESS, MSG_DOWNLOAD_DONE, MSG_DOWNLOAD_FAILED,
                                   MSG_ICON_READY};

}  // namespace

ReportWindow::ReportWindow() {
  platform::MarkUiThread();
  window_ = platform::CreateMessageWindow(
      "LumoDownloadTest", "reports", [this](std::uint32_t msg, WParam wParam, LParam lParam) {
        return Dispatcher::instance()->Dispatch(window_, msg, wParam, lParam);
      });
  for (std::uint32_t message : kMessages) {
    Dispatcher::instance()->Register(message, window_, [this, message](WParam w, LParam l) {
      Report report;
      report.message = message;
      report.key = reinterpret_cast<const char*>(w);
      report.onUiThread = platform::IsUiThread();
      if (message == MSG_DOWNLOAD_PROGRESS) {
        auto* info = reinterpret_cast<const DownloadProgressInfo*>(l);
        report.percent = info->percent;
        report.text = info->speedText;
      } else if (message == MSG_DOWNLOAD_FAILED) {
        report.code = l;
      } else {
        report.text = reinterpret_cast<const char*>(l);
      }
      reports_.push_back(report);
    });
  }
}

ReportWindow::~ReportWindow() {
  for (std::uint32_t message : kMessages) Dispatcher::instance()->Unregister(message, window_);
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
