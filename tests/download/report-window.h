#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace lumo::test {

// A window on the test's (UI) thread that records the download reports sent to it through
// the Dispatcher. Tests pump the UI loop while they wait, as the real loop would.
class ReportWindow {
 public:
  struct Report {
    std::uint32_t message = 0;
    std::string key;
    std::string text;  // the speed text, the file path or the icon path
    float percent = 0;
    std::int64_t code = 0;
    bool onUiThread = false;
  };

  ReportWindow();
  ~ReportWindow();
  platform::WindowHandle handle() const { return window_; }

  std::vector<Report> Of(std::uint32_t message, const std::string& key = "") const;
  bool WaitFor(std::uint32_t message, const std::string& key, int seconds = 60) const;
  const std::vector<Report>& all() const { return reports_; }

 private:
  platform::WindowHandle window_ = 0;
  std::vector<Report> reports_;
};

}  // namespace lumo::test
