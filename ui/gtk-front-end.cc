#include "ui/gtk-front-end.h"

#include <gtk/gtk.h>

#include "platform/ui-loop.h"
#include "toolkit/test-hook.h"
#include "toolkit/toolkit.h"
#include "ui/exit-causes.h"
#include "ui/main-frame.h"

namespace lumo {

GtkFrontEnd::GtkFrontEnd(int* argc, char*** argv) : argc_(argc), argv_(argv) {}

GtkFrontEnd::~GtkFrontEnd() = default;

bool GtkFrontEnd::OpenDisplay(std::string* error) {
  if (gtk_init_check(argc_, argv_)) return true;
  const char* display = g_getenv("DISPLAY");
  *error = std::string("cannot open display ") + (display ? display : "(DISPLAY is not set)");
  return false;
}

bool GtkFrontEnd::SetUpToolkit(const std::string& exeDir, std::string* error) {
  // Every window's layout, theme and images come from the archive beside the executable.
  if (!toolkit::Init(exeDir, "res.zip", error)) return false;
  toolkit::StartTestHook();
  return true;
}

bool GtkFrontEnd::CreateMainWindow(const Workers& workers, std::string* error) {
  mainFrame_ = std::make_unique<MainFrame>(workers);
  if (!mainFrame_->Create(error)) {
    mainFrame_.reset();
    return false;
  }
  return true;
}

void GtkFrontEnd::ShowMainWindow() {
  if (mainFrame_) mainFrame_->CenterAndShow();
}

int GtkFrontEnd::RunMessageLoop() {
  ExitCauses causes([this](const char* cause) {
    if (mainFrame_)
      mainFrame_->QuitNow(cause);
    else
      platform::QuitUiLoop(0);
  });
  return platform::RunUiLoop();
}

void GtkFrontEnd::OpenApks(const std::vector<std::string>& paths) {
  if (mainFrame_) mainFrame_->OpenApks(paths);
}

void GtkFrontEnd::DeleteMainWindow() {
  mainFrame_.reset();
  toolkit::StopTestHook();
  toolkit::Shutdown();
}

}  // namespace lumo
