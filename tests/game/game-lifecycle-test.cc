#include "game/game-lifecycle.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/download-task-mgr.h"
#include "platform/ui-loop.h"

namespace lumo {
namespace {

using ::testing::Test;

// Records what the lifecycle asks for, one line a request, and answers its questions as the
// test sets them.
class RecordedActions final : public GameActions {
 public:
  std::vector<std::string> calls;
  DownloadRoom room;
  bool registeredTask = true;
  std::vector<std::string> vmAbis = {"x86_64", "x86"};
  std::int64_t now = 0;
  std::map<std::string, AppItemInfo> written;

  bool Did(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  void InsertRecord(const AppItemInfo& r) override { Write("insert", r); }
  void UpdateRecord(const AppItemInfo& r) override { Write("update", r); }
  void DeleteRecord(const std::string& p) override {
    written.erase(p);
    calls.push_back("delete-record " + p);
  }
  void SaveCheck(const std::string& p, const DownloadCheck& c) override {
    calls.push_back("save-check " + p + " " + std::to_string(c.size));
  }
  void ForgetCheck(const std::string& p) override { calls.push_back("forget-check " + p); }
  void SaveFailure(const std::string& p, const FailureReason& f) override {
    calls.push_back("save-failure " + p + " " + f.reason + (f.retryHelps ? "" : " final"));
  }
  void ForgetFailure(const std::string& p) override { calls.push_back("forget-failure " + p); }
  void FetchIcon(const AppItemInfo& r) override { calls.push_back("icon " + r.imagePath); }
  DownloadRoom RoomFor(const std::string&) override { return room; }
  void StartDownload(const AppItemInfo& r, bool startNow) override {
    calls.push_back(std::string(startNow ? "download " : "register ") + r.packageName);
  }
  bool RestartDownload(const std::string& p) override {
    calls.push_back("restart " + p);
    return registeredTask;
  }
  void PauseDownload(const std::string& p) override { calls.push_back("pause " + p); }
  void DropDownload(const std::string& p) override { calls.push_back("drop " + p); }
  void Inspect(const std::string& p, const std::string& path, const DownloadCheck&) override {
    calls.push_back("inspect " + p + " " + path);
  }
  void PlayerSetupProgress(float) override {}
  void InstallPlayer(const std::string& path) override { calls.push_back("player " + path); }
  void PlayerSetupFailed(int) override {}
  void QueueInstall(const AppItemInfo& r) override { calls.push_back("install " + r.packageName); }
  void QueueUninstall(const std::string& p) override { calls.push_back("uninstall " + p); }
  void Launch(const AppItemInfo& r) override { calls.push_back("launch " + r.packageName); }
  void RemoveFiles(const std::string& apk, const std::string& icon) override {
    calls.push_back("remove [" + apk + "] [" + icon + "]");
  }
  void Report(int event, const std::string& p, int value) override {
    calls.push_back("event " + std::to_string(event) + " " + p + " " + std::to_string(value));
  }
  bool IsFile(const std::string& path) override { return path.ends_with(".png"); }
  std::vector<std::string> VmAbis() override { return vmAbis; }
  std::int64_t NowMs() override { return now; }

 private:
  void Write(const char* kind, const AppItemInfo& r) {
    written[r.packageName] = r;
    calls.push_back(std::string(kind) + " " + r.packageName + " " + std::to_string(r.status));
  }
};

// What the user would see: each game's last shown status and note, and the notifications.
class RecordedView final : public GameView {
 public:
  std::map<std::string, std::pair<int, StatusNote>> shown;
  std::vector<std::string> told, removed, queued;
  bool drawable = true;
  int statesChanged = 0;

  int StatusOf(const std::string& p) const {
    auto it = shown.find(p);
    return it == shown.end() ? -1 : it->second.first;
  }
  const StatusNote& NoteOf(const std::string& p) { return shown[p].second; }
  bool AddGame(const AppItemInfo& r) override {
    if (drawable) shown[r.packageName] = {r.status, {}};
    return drawable;
  }
  void QueueLoadedGame(const std::string& p) override { queued.push_back(p); }
  void ShowStatus(const AppItemInfo& r, const StatusNote& note) override {
    shown[r.packageName] = {r.status, note};
  }
  void ShowIcon(const std::string&, const std::string&) override {}
  void RemoveGame(const std::string& p) override {
    shown.erase(p);
    removed.push_back(p);
  }
  void Tell(const AppItemInfo& r, const std::string& text) override {
    told.push_back(r.packageName + ": " + text);
  }
  void StatesChanged() override { ++statesChanged; }
};

constexpr char kGame[] = "com.tarvelon.ironkeep";

std::string Request(const std::string& packageName, const std::string& extra = {}) {
  return R"({"packageName":")" + packageName +
         R"(","appName":"Iron Keep","apkUrl":"http://127.0.0.1:8080/apk/iron.apk",)"
         R"("imageUrl":"http://127.0.0.1:8080/icon/iron.png",)"
         R"("detailUrl":"http://127.0.0.1:8080/games/ironkeep")" +
         extra + "}";
}

std::unique_ptr<ApkInspection> Inspected(const std::string& packageName,
                                         std::vector<std::string> nativeCode = {}) {
  auto inspection = std::make_unique<ApkInspection>();
  inspection->packageName = packageName;
  inspection->badging.apkPath = "/dl/" + packageName + ".apk";
  inspection->badging.packageName = packageName;
  inspection->badging.launchActivity = "com.tarvelon.MainActivity";
  inspection->badging.nativeCode = std::move(nativeCode);
  return inspection;
}

std::unique_ptr<AppItemInfo> Stored(const std::string& packageName, int status) {
  auto record = std::make_unique<AppItemInfo>();
  record->packageName = packageName;
  record->appName = packageName;
  record->status = status;
  record->apkUrl = "http://127.0.0.1:8080/apk/" + packageName + ".apk";
  record->localPath = "/dl/" + packageName + ".apk";
  return record;
}

class GameLifecycleTest : public Test {
 protected:
  GameLifecycleTest() { platform::MarkUiThread(); }

  int Status(const std::string& packageName = kGame) {
    auto record = game.Find(packageName);
    return record ? record->status : -1;
  }
  // A store game taken from the click to the installed state.
  void Install(const std::string& packageName = kGame) {
    ASSERT_TRUE(game.RequestDownload(Request(packageName)));
    game.OnDownloadDone(packageName, "/dl/" + packageName + ".apk");
    game.OnApkInspected(Inspected(packageName));
    game.OnInstallStart(packageName, 2);
    game.OnInstallDone(0, packageName);
    ASSERT_EQ(Status(packageName), kStatusInstalled);
    actions.calls.clear();
  }

  RecordedActions actions;
  RecordedView view;
  GameLifecycle game{actions, view, {"/icons"}};
};

TEST_F(GameLifecycleTest, HostileOrBrokenRequestsRecordNothing) {
  EXPECT_FALSE(game.RequestDownload("{not json"));
  EXPECT_FALSE(game.RequestDownload(R"({"packageName":"com.a","apkUrl":""})"));
  EXPECT_FALSE(game.RequestDownload(Request("../../.ssh/authorized_keys")));
  EXPECT_FALSE(game.RequestDownload(
      R"({"packageName":"com.a","apkUrl":"file:///etc/passwd","detailUrl":"http://x/"})"));
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_TRUE(game.records().records().empty());

  // An icon address that is not a web address is dropped, the game is not.
  ASSERT_TRUE(game.RequestDownload(
      R"({"packageName":"com.b","apkUrl":"http://h/b.apk","imageUrl":"javascript:x"})"));
  EXPECT_EQ(game.Find("com.b")->imageUrl, "");
  EXPECT_FALSE(actions.Did("icon /icons/com.b"));
  // A game already on its way is not asked for twice; an undrawable one is not recorded.
  actions.calls.clear();
  ASSERT_TRUE(game.RequestDownload(Request("com.b")));
  EXPECT_FALSE(actions.Did("insert com.b 0"));
  view.drawable = false;
  ASSERT_TRUE(game.RequestDownload(Request("com.c")));
  EXPECT_FALSE(game.Find("com.c"));
}

TEST_F(GameLifecycleTest, DeleteDuringADownloadDropsItAndIgnoresItsLateReports) {
  ASSERT_TRUE(game.RequestDownload(Request(kGame)));
  game.OnDownloadProgress(kGame, 0.5f, "");
  game.Delete(kGame);
  EXPECT_TRUE(actions.Did("drop com.tarvelon.ironkeep"));
  EXPECT_TRUE(actions.Did("uninstall com.tarvelon.ironkeep"));
  EXPECT_EQ(Status(), kStatusQueuedForDelete);

  // What the engine and the worker send after the delete changes nothing.
  actions.calls.clear();
  game.OnDownloadProgress(kGame, 0.9f, "");
  game.OnDownloadDone(kGame, "/dl/com.tarvelon.ironkeep.apk");
  game.OnDownloadFailed(kGame, 5);
  game.OnApkInspected(Inspected(kGame));
  game.OnInstallStart(kGame, 1);
  EXPECT_TRUE(actions.calls.empty());
  EXPECT_EQ(view.StatusOf(kGame), kStatusQueuedForDelete);

  game.OnUninstallStart(kGame);
  EXPECT_EQ(view.StatusOf(kGame), kStatusDeleting);
  game.OnUninstallDone(kGame);
  EXPECT_FALSE(game.Find(kGame));
  EXPECT_EQ(view.removed, std::vector<std::string>{kGame});
  EXPECT_TRUE(actions.Did("delete-record com.tarvelon.ironkeep"));
  EXPECT_TRUE(actions.written.empty());
}

TEST_F(GameLifecycleTest, AnInstallResultForAGameBeingDeletedKeepsTheDeleteGoing) {
  ASSERT_TRUE(game.RequestDownload(Request(kGame)));
  game.OnDownloadDone(kGame, "/dl/com.tarvelon.ironkeep.apk");
  game.OnApkInspected(Inspected(kGame));
  game.OnInstallStart(kGame, 2);
  game.Delete(kGame);
  EXPECT_EQ(Status(), kStatusQueuedForDelete);
  // A store game's own files go with it.
  EXPECT_TRUE(
      actions.Did("remove [/dl/com.tarvelon.ironkeep.apk] [/icons/com.tarvelon.ironkeep.png]"));
  game.OnInstallDone(0, kGame);
  EXPECT_EQ(Status(), kStatusQueuedForDelete);
  EXPECT_TRUE(view.told.empty());
  game.Delete(kGame);  // a second delete queues nothing more
  EXPECT_EQ(
      std::count(actions.calls.begin(), actions.calls.end(), "uninstall com.tarvelon.ironkeep"), 1);
}

TEST_F(GameLifecycleTest, DeleteRemovesAStoreGamesFilesButNeverTheUsersOwnApk) {
  // A store game recorded with the query address the store's pages once had, as Lumo's own
  // address for a game added from disk still has.
  auto store = Stored("com.store", kStatusInstalled);
  store->detailUrl = "http://127.0.0.1:18080/app/detail.html?packagename=com.store";
  store->imagePath = "/icons/com.store.png";
  game.OnAppLoaded(std::move(store));
  game.Delete("com.store");
  EXPECT_TRUE(actions.Did("uninstall com.store"));
  EXPECT_TRUE(actions.Did("remove [/dl/com.store.apk] [/icons/com.store.png]"));

  // Games added from disk, one of them from Lumo's own download folder: only the icon Lumo
  // extracted goes.
  for (const char* path : {"/home/u/Downloads/disk.apk", "/dl/mine.apk"}) {
    AppItemInfo fromDisk;
    fromDisk.packageName = "com.disk";
    fromDisk.localPath = path;
    fromDisk.imagePath = "/icons/com.disk.png";
    fromDisk.status = kStatusWaitingInstall;
    fromDisk.detailUrl = "http://127.0.0.1:18080/app/detail.html?packagename=com.disk";
    game.OnLocalApk(fromDisk, {});
    game.OnInstallDone(0, "com.disk");
    actions.calls.clear();
    game.Delete("com.disk");
    EXPECT_EQ(actions.calls.front(), "remove [] [/icons/com.disk.png]") << path;
    game.OnUninstallDone("com.disk");
  }

  // A store game downloaded before the download folder changed goes from the folder it is in.
  auto earlier = Stored("com.earlier", kStatusInstalled);
  earlier->localPath = "/old-folder/com.earlier.apk";
  game.OnAppLoaded(std::move(earlier));
  game.Delete("com.earlier");
  EXPECT_TRUE(actions.Did("remove [/old-folder/com.earlier.apk] []"));

  // A path that climbs out, or names a file other than the game's own download, stays.
  for (const char* path : {"/dl/../etc/com.stray.apk", "/home/u/Documents/thesis.apk"}) {
    auto stray = Stored("com.stray", kStatusInstallFailed);
    stray->localPath = path;
    stray->imagePath = "/elsewhere/com.stray.png";
    game.OnAppLoaded(std::move(stray));
    actions.calls.clear();
    game.Delete("com.stray");
    EXPECT_TRUE(actions.Did("remove [] []")) << path;
  }
}

TEST_F(GameLifecycleTest, TheVmsListSetsSettledGamesRightAndLeavesMovingOnesAlone) {
  Install("com.gone");
  game.OnAppLoaded(Stored("com.back", kStatusInstallFailed));
  game.OnAppLoaded(Stored("com.moving", kStatusWaitingInstall));
  // A launch asked before the VM has said what it has goes out; the bridge holds it.
  game.Launch("com.gone");
  EXPECT_TRUE(actions.Did("launch com.gone"));
  EXPECT_EQ(view.NoteOf("com.gone").reason.find("正在启动"), 0u);

  game.OnPlayerPackages(std::make_unique<PlayerPackages>(PlayerPackages{"com.back"}));
  EXPECT_EQ(Status("com.gone"), kStatusInstallFailed);
  EXPECT_NE(view.NoteOf("com.gone").reason.find("模拟器中已没有这个游戏"), std::string::npos);
  EXPECT_EQ(Status("com.back"), kStatusInstalled);
  EXPECT_EQ(Status("com.moving"), kStatusWaitingInstall);
  EXPECT_EQ(actions.written["com.back"].status, kStatusInstalled);
  // Its answer to the launch is a failure the user is told of; no launch of a game that is
  // not installed goes out.
  game.OnLaunchFailed(5, "com.gone");
  EXPECT_EQ(view.told.back(), "com.gone: 启动失败：游戏不在设备上，请重新安装");
  // A start is told, with the device it went to.
  game.OnLaunchDone("com.back", "");
  EXPECT_NE(view.told.back().find(" 已在模拟器中启动"), std::string::npos);
  game.OnLaunchDone("com.back", "Pixel 7");
  EXPECT_EQ(view.told.back(), "com.back: 游戏已在 Pixel 7 上启动");
  EXPECT_EQ(view.NoteOf("com.back").reason, "游戏已在 Pixel 7 上启动");
  actions.calls.clear();
  game.Launch("com.gone");
  EXPECT_TRUE(actions.calls.empty());
  // The list is kept for games the catalogue loads later.
  game.OnAppLoaded(Stored("com.late", kStatusInstalled));
  EXPECT_EQ(Status("com.late"), kStatusInstallFailed);
}

TEST_F(GameLifecycleTest, NativeCodeTheVmCannotRunFailsBeforeQueuingAndOffersOnlyTheDelete) {
  ASSERT_TRUE(game.RequestDownload(Request(kGame)));
  game.OnDownloadDone(kGame, "/dl/com.tarvelon.ironkeep.apk");
  game.OnApkInspected(Inspected(kGame, {"mips"}));
  EXPECT_FALSE(actions.Did("install com.tarvelon.ironkeep"));
  EXPECT_EQ(Status(), kStatusInstallFailed);
  constexpr char kReason[] = "安装失败：游戏没有适合此模拟器处理器的原生代码（mips）";
  EXPECT_EQ(view.NoteOf(kGame).reason, kReason);
  EXPECT_EQ(view.told.back(), "com.tarvelon.ironkeep: 安装失败");
  // Installing the same file again cannot end otherwise: the button deletes the game instead.
  EXPECT_FALSE(view.NoteOf(kGame).retryHelps);
  game.PrimaryAction(kGame);
  EXPECT_FALSE(actions.Did("install com.tarvelon.ironkeep"));
  EXPECT_FALSE(game.Find(kGame));
  EXPECT_TRUE(actions.Did("delete-record com.tarvelon.ironkeep"));
  // The reason was stored while the game stood, and goes with it.
  EXPECT_TRUE(actions.Did("save-failure com.tarvelon.ironkeep " + std::string(kReason) + " final"));
  EXPECT_TRUE(actions.Did("forget-failure com.tarvelon.ironkeep"));

  // After a restart the stored reason is the panel's at once, with what it offers.
  game.OnFailuresLoaded({{"com.after", {"安装失败：找不到安装包文件", false}}});
  game.OnAppLoaded(Stored("com.after", kStatusInstallFailed));
  StatusNote note = game.NoteOf(*game.Find("com.after"));
  EXPECT_EQ(note.reason, "安装失败：找不到安装包文件");
  EXPECT_FALSE(note.retryHelps);
}

TEST_F(GameLifecycleTest, OnlyInstallFailuresOutsideTheFileAreRetried) {
  // The player finds the file is no APK, or has no native code for its VM: delete only.
  for (int result : {3, 4}) {
    game.OnAppLoaded(Stored("com.broken", kStatusWaitingInstall));
    game.OnInstallDone(result, "com.broken");
    EXPECT_FALSE(view.NoteOf("com.broken").retryHelps) << result;
    actions.calls.clear();
    game.PrimaryAction("com.broken");
    EXPECT_FALSE(actions.Did("install com.broken")) << result;
    EXPECT_FALSE(game.Find("com.broken")) << result;
  }
  // The player went away, its storage failed, the device refused, the VM was not up yet, or
  // the player lost an installed game: installing again may work.
  for (int result : {1, 2, 9, 10, 11}) {
    game.OnAppLoaded(Stored("com.later", kStatusWaitingInstall));
    game.OnInstallDone(result, "com.later");
    EXPECT_TRUE(view.NoteOf("com.later").retryHelps) << result;
    actions.calls.clear();
    game.PrimaryAction("com.later");
    EXPECT_TRUE(actions.Did("install com.later")) << result;
    EXPECT_EQ(Status("com.later"), kStatusWaitingInstall) << result;
    game.Delete("com.later");
    game.OnUninstallDone("com.later");
  }
  Install("com.gone");
  game.OnPlayerPackages(std::make_unique<PlayerPackages>());
  EXPECT_TRUE(view.NoteOf("com.gone").retryHelps);
  game.PrimaryAction("com.gone");
  EXPECT_TRUE(actions.Did("install com.gone"));
  // Asked for again in the store, a failed game downloads again into the row it has.
  game.OnInstallDone(1, "com.gone");
  actions.calls.clear();
  EXPECT_EQ(game.RequestDownload(Request("com.gone")), GameLifecycle::kTaken);
  EXPECT_TRUE(actions.Did("update com.gone 0") && actions.Did("download com.gone"));
  EXPECT_FALSE(actions.Did("insert com.gone 0"));
}

TEST_F(GameLifecycleTest, DownloadFailuresSayWhyAndResumeStartsAgain) {
  // The announced size does not fit beside what the folder holds.
  actions.room.freeKnown = true;
  actions.room.freeBytes = 400;
  actions.room.partialBytes = 500;
  ASSERT_TRUE(game.RequestDownload(Request(kGame, R"(,"size":1000)")));
  EXPECT_EQ(Status(), kStatusDownloadFailed);
  EXPECT_FALSE(actions.Did("download com.tarvelon.ironkeep"));
  EXPECT_EQ(view.NoteOf(kGame).reason, "下载失败：磁盘空间不足");
  // Room made: resume starts the registered task again, or a new one when there is none.
  actions.room.freeBytes = 500;
  actions.registeredTask = false;
  game.PrimaryAction(kGame);
  EXPECT_TRUE(actions.Did("download com.tarvelon.ironkeep"));
  EXPECT_EQ(Status(), kStatusQueued);

  // Pause and resume.
  game.OnDownloadProgress(kGame, 0.3f, "");
  game.PrimaryAction(kGame);
  EXPECT_EQ(Status(), kStatusPaused);
  EXPECT_TRUE(actions.Did("pause com.tarvelon.ironkeep"));
  game.OnDownloadProgress(kGame, 0.4f, "");  // overtook the pause
  EXPECT_EQ(Status(), kStatusPaused);

  // A file the store's check refuses, and the engine's full disk.
  game.PrimaryAction(kGame);
  auto refused = Inspected(kGame);
  refused->failure = "文件大小不符";
  game.OnApkInspected(std::move(refused));
  EXPECT_EQ(Status(), kStatusDownloadFailed);
  EXPECT_EQ(view.NoteOf(kGame).reason, "下载失败：文件大小不符");
  EXPECT_TRUE(actions.Did("event 203 com.tarvelon.ironkeep -2"));
  EXPECT_TRUE(view.NoteOf(kGame).retryHelps);
  game.PrimaryAction(kGame);
  game.OnDownloadFailed(kGame, DownloadTaskMgr::kFailNoSpace);
  EXPECT_EQ(view.told.back(), "com.tarvelon.ironkeep: 下载失败：磁盘空间不足");
  game.PrimaryAction(kGame);
  game.OnDownloadFailed(kGame, 5);
  EXPECT_EQ(view.NoteOf(kGame).reason, "");
  EXPECT_EQ(view.told.back(), "com.tarvelon.ironkeep: 下载失败");
}

TEST_F(GameLifecycleTest, TheCataloguesGamesGoOnFromWhereTheyStood) {
  game.OnAppLoaded(Stored("com.queued", kStatusQueued));
  game.OnAppLoaded(Stored("com.paused", kStatusPaused));
  game.OnAppLoaded(Stored("com.waiting", kStatusWaitingInstall));
  game.OnAppLoaded(Stored("com.done", kStatusInstalled));
  auto noAddress = Stored("com.nowhere", kStatusDownloading);
  noAddress->apkUrl = "file:///x.apk";
  game.OnAppLoaded(std::move(noAddress));
  game.OnAppLoaded(Stored("../escape", kStatusQueued));
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"download com.queued", "register com.paused",
                                                     "event 204 com.waiting 0",
                                                     "inspect com.waiting /dl/com.waiting.apk"}));
  // A game that waited for its install is queued once its file is read again, unless its
  // native code cannot run in the VM.
  game.OnAppLoaded(Stored("com.waiting.mips", kStatusWaitingInstall));
  game.OnApkInspected(Inspected("com.waiting.mips", {"mips"}));
  game.OnApkInspected(Inspected("com.waiting", {}));
  EXPECT_EQ(Status("com.waiting.mips"), kStatusInstallFailed);
  EXPECT_FALSE(actions.Did("install com.waiting.mips"));
  EXPECT_TRUE(actions.Did("install com.waiting"));
  EXPECT_FALSE(actions.Did("event 202 com.waiting 0"));
  EXPECT_EQ(view.queued.size(), 7u);
  // A record loaded again while its game moves on changes nothing.
  game.OnAppLoaded(Stored("com.queued", kStatusInstalled));
  EXPECT_EQ(Status("com.queued"), kStatusQueued);
  game.OnIconReady("com.queued", "/icons/com.queued.png");
  EXPECT_EQ(actions.written["com.queued"].imagePath, "/icons/com.queued.png");
  game.OnIconReady("com.paused", "/icons/failed-fetch");
  EXPECT_FALSE(actions.written.count("com.paused"));

  // Stored checks count for the games they belong to, but do not replace those made since the
  // start.
  ASSERT_TRUE(game.RequestDownload(Request("com.fresh", R"(,"size":10)")));
  game.OnChecksLoaded(
      {{"com.paused", DownloadCheck{5000, ""}}, {"com.fresh", DownloadCheck{5000, ""}}});
  actions.room.freeKnown = true;
  actions.room.freeBytes = 100;
  actions.registeredTask = false;
  game.PrimaryAction("com.paused");
  EXPECT_EQ(Status("com.paused"), kStatusDownloadFailed);
  game.OnDownloadFailed("com.fresh", 5);
  game.PrimaryAction("com.fresh");
  EXPECT_EQ(Status("com.fresh"), kStatusQueued);
}

}  // namespace
}  // namespace lumo
