#include "apk/zip-archive.h"

#include <filesystem>
#include <random>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

using test::TempDir;

// Archives made by the system's zip tool, an independent writer.
void Zip(const std::string& folder, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec zip -q -X \"$@\"", folder};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  platform::ProcessOutput out = platform::RunProcess(argv, 1 << 16);
  ASSERT_TRUE(out.started && out.exitCode == 0) << out.text;
}

std::string Noise(std::size_t size) {
  std::mt19937 random(7);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>('a' + random() % 6);  // deflates, not to nothing
  return text;
}

// Every way the zip tool writes an entry reads back byte for byte: stored, deflated over
// many reading chunks, with zip64 records, with sizes after the data (streamed from a pipe),
// and folders as entries of their own.
TEST(ZipArchive, ReadsWhatTheZipToolWritesInEveryForm) {
  TempDir dir;
  const std::string big = Noise(700 * 1024);
  test::WriteFile(dir / "big.txt", big);
  test::WriteFile(dir / "empty", "");
  std::filesystem::create_directories(dir / "res/raw");
  test::WriteFile(dir / "res/raw/note", "note");
  Zip(dir.path(), {"-0", "stored.zip", "big.txt", "empty"});
  Zip(dir.path(), {"-9", "-r", "deflated.zip", "big.txt", "empty", "res"});
  Zip(dir.path(), {"-fz", "zip64.zip", "big.txt", "empty"});
  platform::ProcessOutput piped = platform::RunProcess(
      {"/bin/sh", "-c", "zip -q -fz - - < \"$0\" > \"$1\"", dir / "big.txt", dir / "piped.zip"},
      1 << 16);
  ASSERT_EQ(piped.exitCode, 0) << piped.text;

  for (const char* name : {"stored.zip", "deflated.zip", "zip64.zip"}) {
    ZipArchive archive;
    std::string error, bytes;
    ASSERT_TRUE(archive.Open(dir / name, &error)) << name << ": " << error;
    const ZipEntry* entry = archive.Find("big.txt");
    ASSERT_TRUE(entry) << name;
    EXPECT_EQ(entry->size, big.size()) << name;
    ASSERT_TRUE(archive.Read(*entry, big.size(), &bytes, &error)) << name << ": " << error;
    EXPECT_TRUE(bytes == big) << name;
    ASSERT_TRUE(archive.Find("empty")) << name;
    EXPECT_TRUE(archive.Read(*archive.Find("empty"), 0, &bytes)) << name;
    EXPECT_TRUE(bytes.empty()) << name;
  }
  ZipArchive deflated;
  ASSERT_TRUE(deflated.Open(dir / "deflated.zip", nullptr));
  std::vector<std::string> names;
  for (const ZipEntry& entry : deflated.Entries()) names.push_back(entry.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"big.txt", "empty", "res/", "res/raw/", "res/raw/note"}));

  // The same bytes held in memory; the piped entry has no name but "-".
  ZipArchive inMemory;
  std::string bytes;
  ASSERT_TRUE(inMemory.OpenBytes(test::ReadFile(dir / "piped.zip"), nullptr));
  ASSERT_EQ(inMemory.Entries().size(), 1u);
  ASSERT_TRUE(inMemory.Read(inMemory.Entries()[0], big.size(), &bytes));
  EXPECT_TRUE(bytes == big);
}

// A damaged or lying archive never yields bytes that differ from what was stored, and the
// caller's cap holds before anything is read.
TEST(ZipArchive, RefusesDamageLiesAndEntriesOverTheCap) {
  TempDir dir;
  const std::string text = Noise(200 * 1024);
  test::WriteFile(dir / "a.txt", text);
  Zip(dir.path(), {"-0", "stored.zip", "a.txt"});
  Zip(dir.path(), {"-9", "deflated.zip", "a.txt"});
  const std::string stored = test::ReadFile(dir / "stored.zip");
  const std::string deflated = test::ReadFile(dir / "deflated.zip");

  ZipArchive archive;
  std::string error, bytes;
  ASSERT_TRUE(archive.OpenBytes(stored, &error)) << error;
  EXPECT_FALSE(archive.Read(archive.Entries()[0], text.size() - 1, &bytes, &error));
  EXPECT_NE(error.find("declares 204800 bytes"), std::string::npos) << error;
  bool sinkCalled = false;
  EXPECT_FALSE(archive.Stream(archive.Entries()[0], text.size() - 1,
                              [&](const char*, std::size_t) { return sinkCalled = true; }));
  EXPECT_FALSE(sinkCalled);
  // A sink that stops the reading ends it with false.
  EXPECT_FALSE(archive.Stream(archive.Entries()[0], text.size(),
                              [](const char*, std::size_t) { return false; }));

  // One byte changed in the stored data: the checksum tells.
  std::string flipped = stored;
  flipped[stored.find(text.substr(0, 64)) + 1000] ^= 1;
  ASSERT_TRUE(archive.OpenBytes(flipped, nullptr));
  EXPECT_FALSE(archive.Read(archive.Entries()[0], text.size(), &bytes, &error));
  EXPECT_NE(error.find("checksum"), std::string::npos) << error;

  // Deflated data cut short, or the directory's size shrunk under it.
  std::string cut = deflated;
  std::size_t data = 30 + 5;  // local header and "a.txt"
  cut.erase(data + 100, 50);
  EXPECT_FALSE(archive.OpenBytes(cut, nullptr) &&
               archive.Read(archive.Entries()[0], text.size(), &bytes));
  std::string shrunk = deflated;
  std::size_t central = shrunk.rfind(std::string("PK\1\2", 4));
  shrunk[central + 24] = 10, shrunk[central + 25] = 0, shrunk[central + 26] = 0;
  ASSERT_TRUE(archive.OpenBytes(shrunk, nullptr));
  EXPECT_FALSE(archive.Read(archive.Entries()[0], text.size(), &bytes, &error));
  EXPECT_NE(error.find("beyond its declared size"), std::string::npos) << error;

  // Directories that point outside the archive, or an archive cut before its end record.
  std::string outside = deflated;
  outside[outside.rfind(std::string("PK\5\6", 4)) + 19] = 0x7f;  // directory offset
  EXPECT_FALSE(archive.OpenBytes(outside, &error));
  EXPECT_NE(error.find("damaged directory"), std::string::npos) << error;
  std::string farHeader = deflated;
  farHeader[central + 45] = 0x7f;  // local header offset
  ASSERT_TRUE(archive.OpenBytes(farHeader, nullptr));
  EXPECT_FALSE(archive.Read(archive.Entries()[0], text.size(), &bytes));
  EXPECT_FALSE(archive.OpenBytes(deflated.substr(0, deflated.size() - 10), &error));
  EXPECT_FALSE(archive.Open(dir / "missing.zip", &error));
  EXPECT_NE(error.find("missing.zip"), std::string::npos);
  EXPECT_FALSE(archive.Open(dir.path(), &error));  // a folder
  // A pipe under an archive's name would block a reader that waited for a writer.
  ASSERT_EQ(mkfifo((dir / "pipe.apk").c_str(), 0600), 0);
  EXPECT_FALSE(archive.Open(dir / "pipe.apk", &error));
  EXPECT_NE(error.find("is not a file"), std::string::npos) << error;
}

}  // namespace
}  // namespace lumo
