#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zip.h>

#include "components/renew/program-folder.h"
#include "components/renew/update-archive.h"
#include "components/renew/update-description.h"
#include "tests/support/sandbox.h"

namespace lumo::renew {
namespace {

const std::string kSha(64, 'a');

TEST(UpdateDescription, ReadsTheStoresShapeAndRefusesAnythingElse) {
  UpdateDescription d;
  std::string error;
  ASSERT_TRUE(ParseUpdateDescription(R"({"version":"1.2.10","notes":"新","url":"https://s/a.zip",)"
                                     R"("size":5,"sha256":")" +
                                         std::string(64, 'A') + "\"}",
                                     &d, &error));
  EXPECT_TRUE(d.hasArchive);
  EXPECT_EQ(d.url + d.sha256 + std::to_string(d.size), "https://s/a.zip" + kSha + "5");
  ASSERT_TRUE(ParseUpdateDescription(R"({"version":"1.0.0","notes":"x"})", &d, &error));
  EXPECT_FALSE(d.hasArchive);
  std::string archive = R"(,"url":"http://s/a.zip","size":5,"sha256":")" + kSha + "\"}";
  for (std::string bad :
       {R"([])", R"({"version":1})", R"({"version":"1.x"})", R"({"version":"1..0"})",
        R"({"version":"1.0","notes":7})", R"({"version":"1","url":"http://s/a"})",
        R"({"version":"1","version":"2"})"})
    EXPECT_FALSE(ParseUpdateDescription(bad, &d, &error)) << bad;
  for (auto [from, to] : std::initializer_list<std::pair<std::string, std::string>>{
           {"http://s/a.zip", "file:///etc/passwd"},
           {"http://s/a.zip", "http://s/a b.zip"},
           {"\"size\":5", "\"size\":\"5\""},
           {"\"size\":5", "\"size\":-5"},
           {"\"size\":5", "\"size\":5.5"},
           {"\"size\":5", "\"size\":2147483649"},
           {kSha, kSha.substr(1)},
           {kSha, std::string(63, 'a') + "g"}}) {
    std::string text = R"({"version":"2")" + archive;
    text.replace(text.find(from), from.size(), to);
    EXPECT_FALSE(ParseUpdateDescription(text, &d, &error)) << text;
  }
  EXPECT_EQ(d.version, "1.0.0");  // a refused description changes nothing
  EXPECT_GT(CompareVersions("1.0.10", "1.0.9"), 0);
  EXPECT_EQ(CompareVersions("1.0", "1.0.0"), 0);
  EXPECT_LT(CompareVersions("1.9.9", "2"), 0);
}

struct Member {
  std::string name, data;
  unsigned mode;
};

void MakeZip(const std::string& path, const std::vector<Member>& members) {
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
  for (const Member& m : members) {
    zip_source_t* source = zip_source_buffer(archive, m.data.data(), m.data.size(), 0);
    zip_int64_t index = zip_file_add(archive, m.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, m.mode << 16);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

TEST(UpdateArchive, UnpacksFilesAndLinksAndRefusesWhatLeavesTheFolderOrIsCut) {
  test::TempDir dir;
  std::atomic<bool> cancel{false};
  std::string error;
  std::vector<Member> good = {{"lumo", "#!/bin/sh\n", 0100755},
                              {"page/page.html", std::string(4096, 'p'), 0100644},
                              {"page/index.html", "page.html", 0120777}};
  MakeZip(dir / "good.zip", good);
  ASSERT_TRUE(UnpackArchive(dir / "good.zip", dir.path() + "/out", cancel, &error)) << error;
  EXPECT_EQ(access((dir / "out/lumo").c_str(), X_OK), 0);
  EXPECT_EQ(test::ReadFile(dir / "out/page/index.html"), std::string(4096, 'p'));
  EXPECT_EQ(std::filesystem::read_symlink(dir / "out/page/index.html"), "page.html");

  std::vector<std::vector<Member>> hostile = {{{"../evil", "x", 0100644}},
                                              {{"/tmp/evil", "x", 0100644}},
                                              {{"a/../../evil", "x", 0100644}},
                                              {{"a\\..\\evil", "x", 0100644}},
                                              {{"l", "/tmp", 0120777}},
                                              {{"l", "../..", 0120777}},
                                              {{"l", "sub", 0120777}, {"l/evil", "x", 0100644}}};
  for (const auto& members : hostile) {
    MakeZip(dir / "bad.zip", members);
    std::filesystem::remove_all(dir / "in");
    std::filesystem::create_directories(dir / "in");
    EXPECT_FALSE(UnpackArchive(dir / "bad.zip", dir / "in", cancel, &error)) << members[0].name;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "in")) << members[0].name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "evil"));

  std::string whole = test::ReadFile(dir / "good.zip");
  test::WriteFile(dir / "cut.zip", whole.substr(0, whole.size() - 30));
  EXPECT_FALSE(UnpackArchive(dir / "cut.zip", dir / "cut", cancel, &error));
}

}  // namespace
}  // namespace lumo::renew

namespace lumo::renew {
namespace {

// A program folder of version `version`: its config.ini and a lumo file.
void MakeProgram(const std::string& dir, const std::string& version) {
  std::filesystem::create_directories(dir);
  test::WriteFile(dir + "/config.ini", "[config]\nversion=" + version + "\n");
  test::WriteFile(dir + "/lumo", "#!/bin/sh\n");
}

std::string Version(const std::string& dir) {
  return test::ReadFile(dir + "/config.ini");
}

TEST(LeftoverUpdates, AnUpdateKilledAtAnyStepEndsAsOneWholeProgramFolder) {
  enum Step { kStaged, kCutShort, kUnpacked, kSwapped, kConfirmed };
  for (Step step : {kStaged, kCutShort, kUnpacked, kSwapped, kConfirmed}) {
    test::TempDir root;
    const std::string program = root / "lumo";
    MakeProgram(program, "1.0.0");
    std::string staging = MakeStagingFolder(program);
    ASSERT_FALSE(staging.empty());
    if (step == kCutShort) test::WriteFile(staging + "/config.ini", "[config]\nver");
    if (step >= kUnpacked) {
      MakeProgram(staging, "2.0.0");
      test::WriteFile(staging + "/" + kUnconfirmedMark, "");
    }
    if (step >= kSwapped) {
      ASSERT_TRUE(ExchangeFolders(staging, program));
    }
    if (step == kConfirmed) std::filesystem::remove(program + "/" + kUnconfirmedMark);
    std::vector<std::string> said;
    auto say = [&said](const std::string& line) { said.push_back(line); };

    if (step == kSwapped) {
      // A Lumo window is up: the update waits for that Lumo's word.
      SettleLeftoverUpdates(program, false, say);
      EXPECT_TRUE(std::filesystem::exists(staging)) << step;
    }
    SettleLeftoverUpdates(program, true, say);
    bool newKept = step == kConfirmed;
    EXPECT_EQ(Version(program),
              std::string("[config]\nversion=") + (newKept ? "2.0.0" : "1.0.0") + "\n")
        << step;
    EXPECT_FALSE(std::filesystem::exists(program + "/" + kUnconfirmedMark)) << step;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "only the program folder is left after step " << step;
    EXPECT_FALSE(said.empty()) << step;
  }
}

}  // namespace
}  // namespace lumo::renew
