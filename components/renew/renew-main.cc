// The updater. "-silence" (Lumo's start): check quietly and open the window only when a newer
// version can be installed. No argument (the settings menu): open the window and check.
#include <cstdio>
#include <cstring>

#include <gtk/gtk.h>

#include "components/renew/program-folder.h"
#include "components/renew/renew-window.h"
#include "components/renew/update-check.h"
#include "platform/file-system.h"
#include "platform/single-instance.h"
#include "platform/ui-loop.h"
#include "platform/window.h"

namespace {

// One updater window per user; a second start gives way to it.
constexpr char kRenewLock[] = "com.tarvelon.lum.renew";
constexpr char kLumoClass[] = "MainFrame";
constexpr char kLumoTitle[] = "Lumo";

}  // namespace

int main(int argc, char** argv) {
  using namespace lumo;
  bool silent = argc > 1 && std::strcmp(argv[1], "-silence") == 0;
  std::string exe = platform::ExecutablePath();
  std::string programDir = exe.substr(0, exe.rfind('/'));
  if (programDir.empty()) return 1;
  {
    // What an update that was killed left is settled first, unless another updater is at work.
    platform::SingleInstanceLock settling(kRenewLock);
    if (settling.result() != platform::SingleInstanceLock::Result::kAlreadyHeld)
      renew::SettleLeftoverUpdates(
          programDir, !platform::FindTopLevelWindow(kLumoClass, kLumoTitle),
          [](const std::string& step) { std::fprintf(stderr, "renew: %s\n", step.c_str()); });
  }
  std::string url = renew::DescriptionAddress(programDir);
  std::string installed = renew::InstalledVersion(programDir);
  renew::CheckResult result;
  if (silent) {
    result = renew::CheckForUpdate(url, installed);
    if (result.kind == renew::CheckResult::Kind::kFailed)
      std::fprintf(stderr, "renew: %s\n", result.error.c_str());
    if (result.kind != renew::CheckResult::Kind::kNewer) return 0;
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "renew: cannot open display\n");
    return 1;
  }
  platform::SingleInstanceLock lock(kRenewLock);
  if (lock.result() == platform::SingleInstanceLock::Result::kAlreadyHeld) return 0;
  platform::MarkUiThread();
  renew::RenewWindow window(programDir);
  window.Show();
  if (silent)
    window.ShowCheckResult(result);
  else
    window.CheckInBackground(url, installed);
  return platform::RunUiLoop();
}
