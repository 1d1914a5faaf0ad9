#pragma once

#include <string>
#include <vector>

#include "toolkit/skin-window.h"

namespace lumo {

// The dialog that warns about a machine too weak for the emulator. Modal; its `result`
// stays 1 (go on) unless "btn_ok" or "btn_close" ends it with 0.
class HardFailWnd : public toolkit::SkinWindow {
 public:
  // Shows the dialog over `owner` and returns its result.
  static int Run(toolkit::SkinWindow* owner);
  int result() const { return result_; }

 protected:
  std::string GetWindowClassName() const override { return "HardFailWnd"; }
  std::string GetSkinFile() const override { return "HardFailWnd.xml"; }
  void InitWindow() override { AttachShadow(); }
  void Notify(const toolkit::Notification& n) override;
  void OnClick(const toolkit::Notification& n) override;

 private:
  int result_ = 1;
};

// True when the action may go on: at least 2 processors and 2 GiB of memory, or the user
// chose to go on in HardFailWnd.
bool HardwareCheck(toolkit::SkinWindow* owner);
// The pure rule behind it.
bool HardwareIsEnough(int processors, unsigned long long memoryBytes);

// The open-file dialog for APK files; full paths in the dialog's order, empty on cancel.
std::vector<std::string> PickApkFiles(toolkit::SkinWindow* owner);

}  // namespace lumo
