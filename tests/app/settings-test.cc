#include "app/settings.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/paths.h"
#include "platform/file-system.h"
#include "platform/ini.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using platform::FixedVolume;
using test::ReadFile;
using test::SandboxHome;
using test::WriteFile;

class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetVolumeSourceForTest(nullptr); }

  // The volume that holds the sandbox plays the system drive; `other` gets `otherFree`.
  void UseVolumes(std::uint64_t systemFree, const std::string& other, std::uint64_t otherFree) {
    std::string system = home_.home();
    platform::SetVolumeSourceForTest([=] {
      std::vector<FixedVolume> volumes{{system, true, systemFree}};
      if (!other.empty()) volumes.push_back({other, true, otherFree});
      return volumes;
    });
  }

  Settings Load() {
    Settings settings;
    settings.Init();
    return settings;
  }

  std::string Key(const std::string& key) {
    return platform::ReadProfileString(home_.appDir() + "/setting.ini", "setting", key, "<missing>",
                                       260);
  }

  SandboxHome home_;
};

TEST_F(SettingsTest, DownloadsGoToTheRootOfARoomierVolumeOnlyWhenItIsNotTheSystemOne) {
  std::string other = home_.home() + "/otherdisk";
  mkdir(other.c_str(), 0755);
  UseVolumes(1000, other, 5000);
  EXPECT_EQ(Load().downloadDir, other + "/LUMDownload");
  EXPECT_TRUE(platform::IsDirectory(other + "/LUMDownload/icons"));

  // With the system volume roomiest, the download folder stays under appDir, not its root.
  unlink((home_.appDir() + "/setting.ini").c_str());
  UseVolumes(9000, other, 5000);
  EXPECT_EQ(Load().downloadDir, home_.appDir() + "/download");

  // Ties go to the earlier volume; unreadable free space never wins.
  platform::SetVolumeSourceForTest([&] {
    return std::vector<FixedVolume>{{"/a", true, 10}, {"/b", true, 10}, {"/c", false, 0}};
  });
  EXPECT_EQ(FixedDriveWithMostSpace(), "/a");
}

TEST_F(SettingsTest, UnusableConfiguredFoldersFallBackWithoutRewritingTheFile) {
  UseVolumes(1000, "", 0);
  std::string readOnly = home_.home() + "/readonly";
  mkdir(readOnly.c_str(), 0555);
  platform::MakeDirs(home_.appDir());
  WriteFile(home_.appDir() + "/setting.ini",
            "[Setting]\r\nDATADIR=/no/such/parent/data\r\ndownloadDir=" + readOnly +
                "\r\nminOnClose=0\r\n");
  Settings settings = Load();
  EXPECT_EQ(settings.dataDir, home_.appDir() + "/data");
  if (access(readOnly.c_str(), W_OK) != 0) {  // root may write anywhere
    EXPECT_EQ(settings.downloadDir, home_.appDir() + "/download");
  }
  EXPECT_EQ(settings.minOnClose, 0);
  EXPECT_EQ(settings.quitRemember, 0);  // missing key: default, file left as it was
  EXPECT_EQ(Key("dataDir"), "/no/such/parent/data");
  EXPECT_EQ(Key("quitRemember"), "<missing>");
}

TEST_F(SettingsTest, GarbageNumbersTakeTheKeyDefault) {
  UseVolumes(1000, "", 0);
  platform::MakeDirs(home_.appDir());
  WriteFile(home_.appDir() + "/setting.ini",
            "[setting]\nminOnClose=yes please\nquitRemember= 1abc\n");
  Settings settings = Load();
  EXPECT_EQ(settings.minOnClose, 1);
  EXPECT_EQ(settings.quitRemember, 1);
}

TEST_F(SettingsTest, SaveKeepsOtherSectionsAndComments) {
  UseVolumes(1000, "", 0);
  platform::MakeDirs(home_.appDir());
  WriteFile(home_.appDir() + "/setting.ini",
            "; user notes\n[other]\nkey=value\n[setting]\nminOnClose=0\n");
  Settings settings = Load();
  settings.quitRemember = 1;
  ASSERT_TRUE(settings.Save());
  std::string text = ReadFile(home_.appDir() + "/setting.ini");
  EXPECT_NE(text.find("; user notes"), std::string::npos);
  EXPECT_NE(text.find("key=value"), std::string::npos);
  EXPECT_EQ(Key("quitRemember"), "1");
  EXPECT_EQ(Key("minOnClose"), "0");
}

}  // namespace
}  // namespace lumo
