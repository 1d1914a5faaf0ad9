#include <string>

#include "app/application.h"
#include "ui/gtk-front-end.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 0; i < argc; ++i) {
    if (i) commandLine += ' ';
    commandLine += argv[i];
  }
  lumo::GtkFrontEnd frontEnd(&argc, &argv);
  return lumo::RunSingleInstance(commandLine, &frontEnd);
}
