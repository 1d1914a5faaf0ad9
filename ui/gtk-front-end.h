#pragma once

#include <memory>

#include "app/front-end.h"

namespace lumo {

class MainFrame;

// The run routine's view of GTK: display, toolkit and main window.
class GtkFrontEnd : public FrontEnd {
 public:
  GtkFrontEnd(int* argc, char*** argv);
  ~GtkFrontEnd() override;

  bool OpenDisplay(std::string* error) override;
  bool SetUpToolkit(const std::string& exeDir, std::string* error) override;
  bool CreateMainWindow(const Workers& workers, std::string* error) override;
  void ShowMainWindow() override;
  int RunMessageLoop() override;
  void DeleteMainWindow() override;
  void OpenApks(const std::vector<std::string>& paths) override;

 private:
  int* argc_;
  char*** argv_;
  std::unique_ptr<MainFrame> mainFrame_;
};

}  // namespace lumo
