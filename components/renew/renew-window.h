#pragma once

#include <memory>
#include <string>
#include <thread>

#include <gtk/gtk.h>

#include "components/renew/update-check.h"
#include "components/renew/updater.h"
#include "platform/window.h"

namespace lumo::renew {

// The updater's window: what the check found, and the update's progress. Registered as class
// "MainFrame" titled "Lumo更新程序", so that Lumo's quit reaches it. UI thread only.
class RenewWindow : public UpdaterView {
 public:
  static constexpr char kClassName[] = "MainFrame";
  static constexpr char kTitle[] = "Lumo更新程序";

  explicit RenewWindow(std::string programDir);
  ~RenewWindow() override;

  void Show();
  // Checks on a worker and shows what it found.
  void CheckInBackground(const std::string& url, const std::string& installedVersion);
  void ShowCheckResult(const CheckResult& result);

  void ShowStatus(const std::string& headline, const std::string& detail) override;
  void ShowProgress(std::uint64_t have, std::uint64_t total) override;
  void Finished(bool success) override;

 private:
  bool OnMessage(std::uint32_t msg);
  void OnUpdateClicked();
  void Quit();

  const std::string programDir_;
  GtkWidget* window_ = nullptr;
  GtkWidget* headline_ = nullptr;
  GtkWidget* detail_ = nullptr;
  GtkWidget* progress_ = nullptr;
  GtkWidget* updateButton_ = nullptr;
  GtkWidget* closeButton_ = nullptr;
  platform::WindowHandle handle_ = 0;
  std::thread checker_;
  std::unique_ptr<Updater> updater_;
  UpdateDescription offered_;
};

}  // namespace lumo::renew
