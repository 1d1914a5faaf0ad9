#include "app/log.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/thread-guard.h"
#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

using test::ReadFile;
using test::TempDir;

// The text after a line's stamp "[YYYY-MM-DD hh:mm:ss--TID]-->", or false when the line does not
// start with one.
bool AfterStamp(const std::string& line, std::string* text) {
  const std::string shape = "[dddd-dd-dd dd:dd:dd--";
  if (line.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != shape[i])
      return false;
  std::size_t end = line.find("]-->", shape.size());
  if (end == std::string::npos || end == shape.size() || line[shape.size()] == '0') return false;
  for (std::size_t i = shape.size(); i < end; ++i)
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
  *text = line.substr(end + 4);
  return true;
}

// Splits the file on CR LF; a trailing empty piece means the file ended with CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2)
    lines.push_back(text.substr(start, crlf - start));
  lines.push_back(text.substr(start));
  return lines;
}

TEST(Log, KeepsEarlyLinesFormatsBothWidthsAndStopsCleanly) {
  TempDir dir;
  Log log;
  log.write("before init %d", 1);  // queued until the writer exists
  log.init("lum", dir.path());
  log.write("narrow %s %d", "text", 42);
  log.write(L"wide %ls %d %s", L"开始游戏吧", 7, "数据.db");
  log.write("%s", "");
  log.write("two\r\nlines");
  log.stop();
  log.write("after stop");

  std::string text = ReadFile(log.path());
  EXPECT_EQ(log.path(), dir.path() + "/" + Log::FileName("lum", std::time(nullptr)));
  std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 7u) << text;
  EXPECT_EQ(lines.back(), "");  // every line ends with CR LF
  const char* expected[] = {"before init 1", "narrow text 42", "wide 开始游戏吧 7 数据.db", "",
                            "two"};
  for (int i = 0; i < 5; ++i) {
    std::string after;
    ASSERT_TRUE(AfterStamp(lines[i], &after)) << lines[i];
    EXPECT_EQ(after, expected[i]);
  }
  EXPECT_EQ(lines[5], "lines");
  EXPECT_EQ(text.find("after stop"), std::string::npos);
}

TEST(Log, ConcurrentWritersKeepLinesWholeAndOrderedPerThread) {
  TempDir dir;
  Log log;
  log.setLimits({.burst = 1e9, .perSecond = 1e9});
  log.init("lum", dir.path());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < 500; ++i) log.write("t%d n%d %s", t, i, std::string(100, 'x').c_str());
    });
  for (auto& thread : threads) thread.join();
  log.stop();

  std::vector<std::string> lines = Lines(ReadFile(log.path()));
  ASSERT_EQ(lines.size(), 2001u);
  int next[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    std::string after;
    ASSERT_TRUE(AfterStamp(lines[i], &after)) << lines[i];
    int t = -1, n = -1;
    ASSERT_EQ(std::sscanf(after.c_str(), "t%d n%d", &t, &n), 2) << lines[i];
    ASSERT_EQ(n, next[t]++) << "thread " << t << " out of order";
  }
}

TEST(Log, RepeatedLinesAreRateLimitedAndAFullFileIsRotated) {
  TempDir dir;
  Log log;
  log.init("lum", dir.path());
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20000; ++i) log.write("flood %d", i);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  log.write("another kind");
  log.stop();
  std::string text = ReadFile(log.path());
  EXPECT_LE(test::CountOf(text, "flood"), 100 + 10 * seconds + 1);
  EXPECT_NE(text.find("another kind"), std::string::npos);

  TempDir small;
  Log capped;
  capped.setLimits({.burst = 1e9, .perSecond = 1e9, .fileCap = 4096});
  capped.init("lum", small.path());
  for (int i = 0; i < 200; ++i) capped.write("line %03d %s", i, std::string(60, 'x').c_str());
  capped.stop();
  EXPECT_LE(std::filesystem::file_size(capped.path()), 4096u);
  EXPECT_LE(std::filesystem::file_size(capped.path() + ".1"), 4096u);
  EXPECT_NE(ReadFile(capped.path()).find("line 199"), std::string::npos);
}

TEST(Log, AnExceptionEscapingAGuardedThreadIsLoggedAndTheProcessGoesOn) {
  test::StartLogCapture();
  std::thread(Guarded("test worker", [] { throw std::runtime_error("disk on fire"); })).join();
  EXPECT_TRUE(test::WaitForLogLine("test worker thread ended by an exception: disk on fire"));
}

}  // namespace
}  // namespace lumo
