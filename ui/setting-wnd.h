#pragma once

#include <string>

#include "toolkit/skin-window.h"

namespace lumo {

// The settings window: what closing the main window does and where games are downloaded,
// beside the folder that holds the program's data (shown only). OK saves setting.ini; every
// other way out leaves the settings as they were. Modal, UI thread only.
class SettingWnd : public toolkit::SkinWindow {
 public:
  // Shows the dialog over `owner` until it closes.
  static void Run(toolkit::SkinWindow* owner);

 protected:
  std::string GetWindowClassName() const override { return "SettingWnd"; }
  std::string GetSkinFile() const override { return "SettingWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;

 private:
  void Save();
  void ChooseDownloadFolder();

  GtkEntry* editData_ = nullptr;
  GtkEntry* editDownload_ = nullptr;
  GtkToggleButton* optionHide_ = nullptr;
  GtkToggleButton* optionExit_ = nullptr;
};

// The folder chooser over `owner`, starting in `start` when that is a folder; empty when the
// user cancels.
std::string PickFolder(toolkit::SkinWindow* owner, const std::string& title,
                       const std::string& start);

}  // namespace lumo
