#include <filesystem>
#include <string>
#include <system_error>

#include "app/apk-handoff.h"
#include "program/application.h"
#include "ui/gtk-front-end.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 0; i < argc; ++i) {
    if (i) commandLine += ' ';
    commandLine += argv[i];
  }
  // Files opened with Lumo from the desktop arrive as arguments; relative ones are resolved
  // here, where the working folder is still the caller's.
  std::error_code error;
  std::string workingDir = std::filesystem::current_path(error).string();
  std::vector<std::string> apkPaths = lumo::ArgumentPaths(argc, argv, workingDir);
  lumo::GtkFrontEnd frontEnd(&argc, &argv);
  return lumo::RunSingleInstance(commandLine, &frontEnd, apkPaths);
}
