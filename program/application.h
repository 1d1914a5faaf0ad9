#pragma once

#include <string>
#include <vector>

#include "app/front-end.h"
#include "app/workers.h"

namespace lumo {

// The program's spine and composition root: makes every worker and service, hands them to
// the front end, runs the message loop, and takes them down in a fixed order.
class Application {
 public:
  Application(std::string commandLine, FrontEnd* frontEnd, std::vector<std::string> apkPaths = {});
  // Returns the process's exit status: 0 after a normal run, non-zero when start-up could not
  // reach the message loop (no display, no resources, no main window).
  int Run();

 private:
  void ShutDown();

  std::string commandLine_;
  FrontEnd* frontEnd_;
  std::vector<std::string> apkPaths_;
  Workers workers_;
};

// The name of the per-user lock that keeps Lumo to one instance.
inline constexpr char kSingleInstanceName[] = "com.tarvelon.lum";

// The entry point's logic: -1 when another instance runs (it is handed `apkPaths` and asked to
// come to the front), else the result of Application::Run, which adds `apkPaths` itself.
int RunSingleInstance(const std::string& commandLine, FrontEnd* frontEnd,
                      const std::vector<std::string>& apkPaths = {});

}  // namespace lumo
