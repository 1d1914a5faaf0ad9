#include "program/application.h"

#include <cstdio>

#include "app/apk-handoff.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/worker-pool.h"
#include "catalogue/app-database-task-loop.h"
#include "download/download-task-mgr.h"
#include "download/thunder-wrapper.h"
#include "platform/single-instance.h"
#include "platform/ui-loop.h"
#include "platform/window.h"
#include "stat/data-stat.h"
#include "vm/vm-abis.h"
#include "vm/vm-bridge-client.h"
#include "vm/vm-task-loop.h"

namespace lumo {

namespace {

constexpr int kStartEvent = 100;

// Start-up cannot go on: say so once on the terminal and once in the log.
int StartFailure(const std::string& error) {
  std::fprintf(stderr, "lumo: %s\n", error.c_str());
  Log::instance()->write("start-up failed: %s", error.c_str());
  return 1;
}

}  // namespace

Application::Application(std::string commandLine, FrontEnd* frontEnd,
                         std::vector<std::string> apkPaths)
    : commandLine_(std::move(commandLine)), frontEnd_(frontEnd), apkPaths_(std::move(apkPaths)) {}

int Application::Run() {
  // This thread runs the message loop: it is the UI thread from here on.
  platform::MarkUiThread();
  Settings::instance().Init();
  Log::instance()->init("lum", Settings::instance().logDir);
  platform::SetWindowChannelReport(
      [](const std::string& text) { Log::instance()->write("%s", text.c_str()); });
  const Settings& settings = Settings::instance();
  Log::instance()->write("Lumo %s starting. data:%s, download:%s", ConfigVersion().c_str(),
                         settings.dataDir.c_str(), settings.downloadDir.c_str());

  // Nothing else in start-up can work without a display, so it is asked for first.
  std::string error;
  if (!frontEnd_->OpenDisplay(&error)) {
    int status = StartFailure(error);
    Log::instance()->stop();
    return status;
  }

  DataStat::instance()->init();
  DataStat::instance()->SendLog(kStartEvent);

  // Stopped last of the workers, so that everything posted to it is written.
  workers_.catalogue = AppDatabaseTaskLoop::Create();
  workers_.catalogue->start();
  PostCreateDatabase(*workers_.catalogue, PathJoin(Settings::instance().dataDir, "data.db"));
  SetVmAbisFolder(Settings::instance().dataDir);
  // The player may connect from here on; its callbacks arrive on the bridge's own thread.
  workers_.bridge = std::make_shared<VmBridgeClient>();
  workers_.vmTasks = std::make_shared<VMTaskLoop>(*workers_.bridge);
  workers_.bridge->CreateServer(*workers_.vmTasks);

  // The engine is loaded on a worker once the store page shows: start-up does not wait for it.
  workers_.downloads = DownloadTaskMgr::Create([] { return ThunderWrapper::load(); });
  workers_.jobs = std::make_shared<WorkerPool>();

  if (!frontEnd_->SetUpToolkit(ExeDir(), &error) ||
      !frontEnd_->CreateMainWindow(workers_, &error)) {
    int status = StartFailure(error);
    ShutDown();
    return status;
  }
  frontEnd_->ShowMainWindow();
  if (!apkPaths_.empty()) frontEnd_->OpenApks(apkPaths_);
  int loopCode = frontEnd_->RunMessageLoop();
  Log::instance()->write("message loop ended. [code=%d]", loopCode);
  ShutDown();
  return 0;
}

void Application::ShutDown() {
  DataStat::instance()->AppLogExit();
  // Every download stops, then the engine ends; one that was never loaded is not loaded now.
  // The main window's message window went with its destroy, so the polling thread's last
  // report waits for no one.
  if (workers_.downloads) {
    workers_.downloads->stopAll();
    workers_.downloads->end();
  }
  // Before the window object goes: no bridge callback may reach it.
  workers_.bridge->DeleteServer();
  frontEnd_->DeleteMainWindow();
  // No window takes a message now, so no worker can be waiting for this thread: each is
  // joined here. The catalogue goes last and writes every change posted to it before.
  workers_.vmTasks->StopAndJoin();
  workers_.jobs->StopAndJoin();
  workers_.catalogue->stopAndJoin();
  Log::instance()->write("Lumo shut down.");
  // The window's last lines are queued by now; stopping the log writes them.
  Log::instance()->stop();
  DataStat::instance()->Free();
}

int RunSingleInstance(const std::string& commandLine, FrontEnd* frontEnd,
                      const std::vector<std::string>& apkPaths) {
  // The lock is kept until the process ends, whatever path it takes.
  static platform::SingleInstanceLock lock(kSingleInstanceName);
  if (lock.result() == platform::SingleInstanceLock::Result::kAlreadyHeld) {
    // The paths travel as copies of their text; the running instance checks them again.
    for (const std::string& block : EncodeApkPaths(apkPaths, platform::kMaxWindowData))
      platform::PostDataToTopLevelWindow(kMainWindowClass, kMainWindowTitle, MSG_OPEN_APKS, block);
    platform::PostToTopLevelWindow(kMainWindowClass, kMainWindowTitle, MSG_SHOW_MAIN, 0, 0);
    return -1;
  }
  Application application(commandLine, frontEnd, apkPaths);
  return application.Run();
}

}  // namespace lumo
