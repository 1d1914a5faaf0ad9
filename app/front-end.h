#pragma once

#include <string>
#include <vector>

#include "app/workers.h"

namespace lumo {

// The main window's class and title: another start of Lumo finds the running one by them.
inline constexpr char kMainWindowClass[] = "MainFrame";
inline constexpr char kMainWindowTitle[] = "Lumo";

// The UI toolkit and main window as the run routine sees them. The GTK front end lives in
// ui/; tests can run the routine with a front end of their own.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Connects to the display. False when there is none; `error` then says why.
  virtual bool OpenDisplay(std::string* error) = 0;
  // Toolkit set-up: resource folder and archive beside the executable.
  virtual bool SetUpToolkit(const std::string& exeDir, std::string* error) = 0;
  // Creates the main window, which initialises itself before this returns; it uses `workers`
  // until DeleteMainWindow.
  virtual bool CreateMainWindow(const Workers& workers, std::string* error) = 0;
  // Centres the main window on the work area and shows it with activation.
  virtual void ShowMainWindow() = 0;
  // Runs the message loop until the main window quits it; returns the loop's exit code.
  virtual int RunMessageLoop() = 0;
  virtual void DeleteMainWindow() = 0;
  // Adds the APK files the program was started with, as adding them from disk does.
  virtual void OpenApks(const std::vector<std::string>&) {}
};

}  // namespace lumo
