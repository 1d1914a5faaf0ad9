#include "toolkit/skin-window.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "platform/ui-loop.h"
#include "platform/window.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "toolkit/controls.h"
#include "toolkit/resource-archive.h"
#include "toolkit/toolkit.h"
#include "ui/progress-widget.h"

namespace lumo {
namespace {

constexpr char kGoodSkin[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<interface>
  <object class="GtkBox" id="root">
    <property name="visible">True</property>
    <child><object class="GtkButton" id="btnA"><property name="label">A</property></object></child>
  </object>
</interface>)";

// A list item whose only picture is an image named by its file, inside a button.
constexpr char kItemSkin[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<interface>
  <object class="GtkBox" id="root">
    <property name="visible">True</property>
    <child><object class="GtkButton" id="btn"><property name="visible">True</property>
      <child><object class="GtkImage"><property name="visible">True</property>
        <property name="file">skin:img/ok.svg</property></object></child>
    </object></child>
  </object>
</interface>)";

constexpr char kOkImage[] =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"><rect width="4" height="4" fill="#f00"/></svg>)";

// A resource archive made with the real zip tool: a window skin, an item skin, two broken
// ones, and two images of which one does not decode.
class Skins {
 public:
  Skins() {
    test::WriteFile(dir_ / "Good.xml", kGoodSkin);
    test::WriteFile(dir_ / "Item.xml", kItemSkin);
    test::WriteFile(dir_ / "Broken.xml", "<interface><object class=");
    test::WriteFile(dir_ / "NoRoot.xml",
                    "<interface><object class=\"GtkBox\" id=\"x\"/></interface>");
    std::system(("mkdir -p " + dir_ / "img").c_str());
    test::WriteFile(dir_ / "img/ok.svg", kOkImage);
    test::WriteFile(dir_ / "img/bad.png", "\x89PNG but not really");
    std::string zip =
        "cd " + dir_.path() +
        " && zip -q res.zip Good.xml Item.xml Broken.xml NoRoot.xml img/ok.svg img/bad.png";
    EXPECT_EQ(std::system(zip.c_str()), 0);
  }
  const std::string& path() const { return dir_.path(); }

 private:
  test::TempDir dir_;
};

class TestWindow : public toolkit::SkinWindow {
 public:
  explicit TestWindow(std::string skin) : skin_(std::move(skin)) {}
  std::vector<std::uint32_t> messages;

 protected:
  std::string GetWindowClassName() const override { return "TestWnd"; }
  std::string GetSkinFile() const override { return skin_; }
  bool HandleCustomMessage(std::uint32_t msg, platform::WParam, platform::LParam) override {
    messages.push_back(msg);
    return true;
  }

 private:
  std::string skin_;
};

class SkinWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MarkUiThread();
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    setenv("XDG_CACHE_HOME", cache_.path().c_str(), 1);  // not the real user's cache
    std::string error;
    ASSERT_TRUE(toolkit::Init(skins_.path(), "res.zip", &error)) << error;
  }
  void TearDown() override { toolkit::Shutdown(); }
  test::TempDir cache_;
  Skins skins_;
};

// Whether opening `path` fails cleanly in a child whose address space is far below 4 GiB:
// an archive that makes the reader allocate what an entry declares kills the child.
bool RefusedWithinBoundedMemory(const std::string& path) {
  pid_t child = fork();
  if (child == 0) {
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = pages * sysconf(_SC_PAGESIZE) + (rlim_t{1} << 30);
    setrlimit(RLIMIT_AS, &limit);
    toolkit::ResourceArchive archive;
    std::string error;
    _exit(!archive.Open(path, &error) && error.find("declares") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The pages not shown at start wait for the window's first frame; one chosen before then is
// shown at once and stays the current one.
TEST(TabLayout, OtherPagesComeBackAfterTheFirstFrameOrWhenChosen) {
  platform::MarkUiThread();
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkNotebook* tabs = GTK_NOTEBOOK(gtk_notebook_new());
  std::vector<GtkWidget*> pages;
  for (const char* text : {"store", "games", "more", "hidden"}) {
    pages.push_back(gtk_label_new(text));
    gtk_notebook_append_page(tabs, pages.back(), nullptr);
    gtk_widget_show(pages.back());
  }
  gtk_widget_hide(pages[3]);
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(tabs));
  gtk_widget_show(GTK_WIDGET(tabs));
  toolkit::DeferOtherTabs(tabs);
  EXPECT_TRUE(gtk_widget_get_visible(pages[0]));
  EXPECT_FALSE(gtk_widget_get_visible(pages[1]));
  toolkit::SelectTab(tabs, 2);
  EXPECT_TRUE(gtk_widget_get_visible(pages[2]));
  EXPECT_FALSE(gtk_widget_get_visible(pages[1]));
  gtk_widget_show(window);
  ASSERT_TRUE(test::WaitFor([&] { return gtk_widget_get_visible(pages[1]); },
                            std::chrono::seconds(20), true));
  EXPECT_EQ(toolkit::CurrentTab(tabs), 2);
  EXPECT_FALSE(gtk_widget_get_visible(pages[3]));
  gtk_widget_destroy(window);
}

TEST(ToolkitSetUp, ImagesAreUnpackedOnceIntoTheCacheAndHugeEntriesAreRefused) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  test::TempDir cache;
  setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
  Skins skins;
  std::string error;
  struct stat first {
  }, second{};
  ASSERT_TRUE(toolkit::Init(skins.path(), "res.zip", &error)) << error;
  std::string image = toolkit::ImagePath("img/ok.svg");
  EXPECT_EQ(image.rfind(cache / "lum/skin-", 0), 0u) << image;
  toolkit::Shutdown();
  ASSERT_EQ(stat(image.c_str(), &first), 0);
  // The next start finds the images where the first one left them, untouched.
  ASSERT_TRUE(toolkit::Init(skins.path(), "res.zip", &error)) << error;
  EXPECT_EQ(toolkit::ImagePath("img/ok.svg"), image);
  ASSERT_EQ(stat(image.c_str(), &second), 0);
  EXPECT_EQ(first.st_ino, second.st_ino);
  EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
  toolkit::Shutdown();
  // A changed archive unpacks afresh, and the old folders go, without following their links.
  test::TempDir outside;
  test::WriteFile(outside / "keep", "x");
  std::filesystem::create_directory(cache / "lum/skin-stale");
  std::filesystem::create_directory_symlink(outside.path(), cache / "lum/skin-stale/link");
  test::WriteFile(skins.path() + "/img/ok.svg", std::string(kOkImage) + " ");
  ASSERT_EQ(std::system(("cd " + skins.path() + " && zip -q res.zip img/ok.svg").c_str()), 0);
  ASSERT_TRUE(toolkit::Init(skins.path(), "res.zip", &error)) << error;
  EXPECT_NE(toolkit::ImagePath("img/ok.svg"), image);
  EXPECT_EQ(test::ReadFile(toolkit::ImagePath("img/ok.svg")), std::string(kOkImage) + " ");
  EXPECT_NE(stat(image.c_str(), &first), 0);
  EXPECT_FALSE(std::filesystem::exists(cache / "lum/skin-stale"));
  EXPECT_EQ(test::ReadFile(outside / "keep"), "x");
  toolkit::Shutdown();

  // The directory says the first entry holds 4 GiB less two bytes.
  std::string zip = test::ReadFile(skins.path() + "/res.zip");
  std::size_t central = zip.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  zip.replace(central + 24, 4, "\xfe\xff\xff\xff");
  test::WriteFile(skins.path() + "/huge.zip", zip);
  EXPECT_FALSE(toolkit::Init(skins.path(), "huge.zip", &error));
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_TRUE(RefusedWithinBoundedMemory(skins.path() + "/huge.zip"));
#endif
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(SkinWindowTest, BadSkinsAndImagesAreRefusedWithoutACrash) {
  for (const char* skin : {"Broken.xml", "NoRoot.xml", "Absent.xml"}) {
    TestWindow window(skin);
    EXPECT_FALSE(window.Create(nullptr, "Test", {}, 300, 200)) << skin;
    EXPECT_EQ(window.FindControl("root"), nullptr);
  }
  EXPECT_FALSE(toolkit::ImagePath("img/ok.svg").empty());
  EXPECT_TRUE(toolkit::ImagePath("img/bad.png").empty());
  EXPECT_TRUE(toolkit::ImagePath("img/none.png").empty());
  // A control's skin image is decoded when it is painted; one told to show an image that does
  // not decode keeps what it had.
  CProgressUIEx control;
  control.SetState(6);
  auto paintedRed = [&control] {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
    cairo_t* cr = cairo_create(surface);
    control.Paint(cr, 10, 10);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    auto pixel = *reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface));
    cairo_surface_destroy(surface);
    return pixel == 0xFFFF0000u;
  };
  EXPECT_FALSE(paintedRed());
  control.SetAttribute("btnLaunch", "skin:img/ok.svg");
  EXPECT_TRUE(paintedRed());
  control.SetAttribute("foreimage", "skin:img/bad.png");
  control.SetAttribute("btnLaunch", "skin:img/none.png");
  EXPECT_TRUE(paintedRed());
  control.SetAttribute("btnLaunch", "skin:img/bad.png");
  EXPECT_TRUE(paintedRed());
}

}  // namespace
}  // namespace lumo
