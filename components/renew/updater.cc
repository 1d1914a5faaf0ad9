#include "components/renew/updater.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include <glib.h>

#include "components/renew/program-folder.h"
#include "components/renew/update-archive.h"
#include "components/renew/update-fetch.h"
#include "platform/file-system.h"
#include "platform/single-instance.h"
#include "platform/ui-loop.h"
#include "platform/window.h"

namespace lumo::renew {

namespace {

constexpr char kLumoClass[] = "MainFrame";
constexpr char kLumoTitle[] = "Lumo";
constexpr char kLumoLock[] = "com.tarvelon.lum";
constexpr std::uint32_t kQuitNow = 2024;
constexpr unsigned kPollMs = 100;
// Lumo's own shutdown waits up to about ten seconds for the player; a start may load a
// large catalogue.
constexpr std::int64_t kQuitWaitUs = std::int64_t{60} * G_USEC_PER_SEC;
constexpr std::int64_t kStartWaitUs = std::int64_t{90} * G_USEC_PER_SEC;

bool LumoRunning() {
  platform::SingleInstanceLock lock(kLumoLock);
  return lock.result() == platform::SingleInstanceLock::Result::kAlreadyHeld;
}

std::string ArchivePathFor(const UpdateDescription& description) {
  std::string folder = std::string(g_get_user_cache_dir()) + "/lumo/update";
  if (!platform::MakeDirs(folder)) return {};
  return folder + "/" + description.sha256 + ".zip";
}

}  // namespace

Updater::Updater(UpdaterView* view, std::string programDir, UpdateDescription description)
    : view_(view), programDir_(std::move(programDir)), description_(std::move(description)) {}

Updater::~Updater() {
  Cancel();
  if (timer_) platform::CancelTimer(timer_);
}

void Updater::Start() {
  if (worker_.joinable() || installing_) return;
  cancel_ = false;
  view_->ShowStatus("正在下载更新包", "Lumo " + description_.version);
  worker_ = std::thread([this] { Prepare(); });
}

void Updater::Cancel() {
  cancel_ = true;
  Join();
}

void Updater::Join() {
  if (worker_.joinable()) worker_.join();
}

// Runs on the worker: everything up to an unpacked, checked folder beside the program.
void Updater::Prepare() {
  archivePath_ = ArchivePathFor(description_);
  std::string parent = programDir_.substr(0, programDir_.rfind('/'));
  if (archivePath_.empty() || !platform::IsWritableDirectory(parent)) {
    Fail("无法更新",
         "没有写入权限：" + (archivePath_.empty() ? std::string("缓存文件夹") : parent));
    return;
  }
  auto progress = [this, shown = std::uint64_t(101)](std::uint64_t have,
                                                     std::uint64_t total) mutable {
    std::uint64_t percent = have * 100 / total;
    if (percent == shown) return;
    shown = percent;
    platform::InvokeOnUiThread([this, have, total] { view_->ShowProgress(have, total); });
  };
  std::string error;
  if (!DownloadResumable(description_.url, archivePath_, description_.size, cancel_, progress,
                         &error)) {
    if (!cancel_) Fail("更新包下载失败", error);
    return;
  }
  if (!Verify(archivePath_)) return;
  staging_ = MakeStagingFolder(programDir_);
  if (staging_.empty()) {
    Fail("无法更新", "无法在程序文件夹旁建立新文件夹");
    return;
  }
  bool unpacked = UnpackArchive(archivePath_, staging_, cancel_, &error);
  if (unpacked && access((staging_ + "/lumo").c_str(), X_OK) != 0) {
    unpacked = false;
    error = "the archive holds no lumo program";
  }
  // Marked before it takes the program folder's place: until its Lumo has shown its window, a
  // later start of the updater may give the folder back to the old program.
  if (unpacked && !platform::WriteFileAtomically(staging_ + "/" + kUnconfirmedMark, "")) {
    unpacked = false;
    error = "cannot write in " + staging_;
  }
  if (!unpacked) {
    RemoveTree(staging_);
    staging_.clear();
    if (!cancel_) Fail("更新包无效", error + "；当前程序未做任何改动");
    return;
  }
  if (!cancel_) platform::InvokeOnUiThread([this] { QuitLumo(); });
}

bool Updater::Verify(const std::string& archive) {
  std::string sha256;
  std::uint64_t size = 0;
  if (!platform::HashFile(archive, &sha256, &size)) {
    Fail("更新包校验失败", "无法读取更新包");
    return false;
  }
  if (size == description_.size && sha256 == description_.sha256) return true;
  // A damaged or foreign file must not be resumed next time.
  platform::RemoveFile(archive);
  std::fprintf(stderr, "renew: archive refused: size %llu sha256 %s, described %llu %s\n",
               static_cast<unsigned long long>(size), sha256.c_str(),
               static_cast<unsigned long long>(description_.size), description_.sha256.c_str());
  Fail("更新包校验失败", std::string(size != description_.size ? "大小" : "SHA-256") +
                             "与更新描述不符；当前程序未做任何改动");
  return false;
}

// Any thread; the view hears of it on the UI thread.
void Updater::Fail(const std::string& headline, const std::string& detail) {
  std::fprintf(stderr, "renew: %s: %s\n", headline.c_str(), detail.c_str());
  platform::InvokeOnUiThread([this, headline, detail] {
    Join();
    view_->ShowStatus(headline, detail);
    view_->Finished(false);
  });
}

void Updater::QuitLumo() {
  Join();
  installing_ = true;
  view_->ShowStatus("正在等待 Lumo 退出", "");
  platform::PostToTopLevelWindow(kLumoClass, kLumoTitle, kQuitNow, 0, 0);
  waitStart_ = g_get_monotonic_time();
  timer_ = platform::AddTimer(kPollMs, [this] { return WaitForLumoToEnd(); });
}

bool Updater::WaitForLumoToEnd() {
  if (!LumoRunning()) {
    timer_ = 0;
    SwapAndStart();
    return false;
  }
  if (g_get_monotonic_time() - waitStart_ < kQuitWaitUs) return true;
  timer_ = 0;
  RemoveTree(staging_);
  installing_ = false;
  view_->ShowStatus("Lumo 未能退出", "更新已取消；当前程序未做任何改动");
  view_->Finished(false);
  return false;
}

void Updater::SwapAndStart() {
  view_->ShowStatus("正在安装更新", "");
  if (!ExchangeFolders(staging_, programDir_)) {
    Restore("无法替换程序文件夹");
    return;
  }
  swapped_ = true;
  // From here the staging folder holds the old program, kept until the new one runs.
  std::string lumo = programDir_ + "/lumo";
  char* argv[] = {lumo.data(), nullptr};
  GPid pid = 0;
  if (!g_spawn_async(programDir_.c_str(), argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                     nullptr, &pid, nullptr)) {
    Restore("新版本无法启动");
    return;
  }
  newLumo_ = pid;
  newLumoEnded_ = false;
  g_child_watch_add(
      pid,
      [](GPid child, gint, gpointer data) {
        auto* self = static_cast<Updater*>(data);
        g_spawn_close_pid(child);
        if (child != self->newLumo_) return;
        self->newLumoEnded_ = true;
        if (self->restoring_) self->FinishRestore();
      },
      this);
  waitStart_ = g_get_monotonic_time();
  timer_ = platform::AddTimer(kPollMs, [this] { return WaitForNewLumo(); });
}

bool Updater::WaitForNewLumo() {
  if (newLumoEnded_) {
    timer_ = 0;
    Restore("新版本启动后立即退出");
    return false;
  }
  if (platform::FindTopLevelWindow(kLumoClass, kLumoTitle)) {
    timer_ = 0;
    view_->ShowStatus("更新完成", "Lumo " + description_.version);
    RemoveTree(staging_);
    platform::RemoveFile(archivePath_);
    view_->Finished(true);
    return false;
  }
  if (g_get_monotonic_time() - waitStart_ < kStartWaitUs) return true;
  timer_ = 0;
  Restore("新版本未能按时启动");
  return false;
}

// The new program did not come up: it is ended and the old folder goes back in its place.
void Updater::Restore(const std::string& why) {
  std::fprintf(stderr, "renew: %s; restoring the previous version\n", why.c_str());
  restoring_ = true;
  failure_ = why;
  if (newLumo_ && !newLumoEnded_) {
    kill(newLumo_, SIGKILL);  // FinishRestore runs when it has ended
    return;
  }
  FinishRestore();
}

void Updater::FinishRestore() {
  // Until the swap back succeeds the staging folder holds the old program: it is kept.
  bool restored = !swapped_ || ExchangeFolders(staging_, programDir_);
  if (restored) {
    RemoveTree(staging_);
    view_->ShowStatus("更新失败，已恢复原版本", failure_);
    // Lumo was asked to quit for the update; the previous version takes its place again.
    std::string lumo = programDir_ + "/lumo";
    char* argv[] = {lumo.data(), nullptr};
    g_spawn_async(programDir_.c_str(), argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                  nullptr);
  } else {
    view_->ShowStatus("更新失败", failure_ + "；原版本保存在 " + staging_);
  }
  staging_.clear();
  swapped_ = false;
  platform::RemoveFile(archivePath_);
  installing_ = false;
  restoring_ = false;
  view_->Finished(false);
}

}  // namespace lumo::renew
