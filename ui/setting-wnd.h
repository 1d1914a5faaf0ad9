#pragma once

#include <string>
#include <utility>
#include <vector>

#include "toolkit/skin-window.h"
#include "vm/android-devices.h"

namespace lumo {

class AndroidStatus;

// The settings window: what closing the main window does, where games are downloaded, the
// folder that holds the program's data (shown only) and the Android the games go to. OK saves
// setting.ini; every other way out leaves the settings as they were. Modal, UI thread only.
class SettingWnd : public toolkit::SkinWindow {
 public:
  // Shows the dialog over `owner` until it closes; `android` lists the devices and carries the
  // choice to the player.
  static void Run(toolkit::SkinWindow* owner, AndroidStatus* android);

 protected:
  std::string GetWindowClassName() const override { return "SettingWnd"; }
  std::string GetSkinFile() const override { return "SettingWnd.xml"; }
  void InitWindow() override;
  void OnClick(const toolkit::Notification& n) override;

 private:
  void Save();
  void ChooseDownloadFolder();
  // The choices: automatic, the demo VM, then each device the player reported.
  void FillDevices();
  void AddChoice(const std::string& value, const std::string& label, bool usable);
  void AddNetworkDevice();
  void OnDeviceConnected(const DeviceConnectResult& result);
  void Note(const std::string& text);

  GtkEntry* editData_ = nullptr;
  GtkEntry* editDownload_ = nullptr;
  GtkToggleButton* optionHide_ = nullptr;
  GtkToggleButton* optionExit_ = nullptr;
  AndroidStatus* android_ = nullptr;
  GtkBox* androidChoices_ = nullptr;
  GtkEntry* editAddress_ = nullptr;
  GtkLabel* androidNote_ = nullptr;
  std::string picked_;                  // "auto", "demo" or a serial
  std::vector<std::string> addresses_;  // the network devices, as they will be saved
  std::vector<std::pair<GtkToggleButton*, std::string>> choices_;
};

// The folder chooser over `owner`, starting in `start` when that is a folder; empty when the
// user cancels.
std::string PickFolder(toolkit::SkinWindow* owner, const std::string& title,
                       const std::string& start);

}  // namespace lumo
