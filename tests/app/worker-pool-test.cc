#include "app/worker-pool.h"

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/log-capture.h"
#include "tests/support/sandbox.h"

namespace lumo {
namespace {

TEST(WorkerPool, StopAndJoinWaitsForEveryRunningJobAndRefusesLaterOnes) {
  test::StartLogCapture();
  WorkerPool pool;
  std::promise<void> go;
  std::shared_future<void> released = go.get_future().share();
  std::atomic<int> done{0};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(pool.Run("held", [released, &done] {
      released.wait();
      ++done;
    }));
  }
  // A job that owns a move-only value, and one that throws: neither stops the others.
  auto value = std::make_unique<int>(4);
  ASSERT_TRUE(pool.Run("owner", [value = std::move(value), &done] { done += *value; }));
  ASSERT_TRUE(pool.Run("thrower", [] { throw std::runtime_error("no file"); }));

  auto stopped = std::async(std::launch::async, [&pool] { pool.StopAndJoin(); });
  EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "returned while jobs still ran";
  go.set_value();
  stopped.get();
  EXPECT_EQ(done, 7);
  EXPECT_TRUE(test::WaitForLogLine("thrower thread ended by an exception: no file"));

  EXPECT_FALSE(pool.Run("late", [&done] { ++done; }));
  EXPECT_EQ(done, 7);
  EXPECT_TRUE(test::WaitForLogLine("late not started: Lumo is shutting down."));
}

// Whether thread `tid` of this process is inside the system call `number`.
bool InSystemCall(long tid, long number) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
  long current = -1;
  return (in >> current) && current == number;
}

// Making a thread waits for the dynamic loader's lock, which a thread loading a library holds
// while it opens and maps the file. Here the file is a pipe that nobody writes yet, so the
// loading goes on until the test lets it: a caller of Run must not wait for that.
TEST(WorkerPool, RunReturnsWhileAnotherThreadIsLoadingALibrary) {
  WorkerPool pool;
  test::TempDir dir;
  std::string library = dir / "libslow.so";
  ASSERT_EQ(mkfifo(library.c_str(), 0600), 0);
  // Made before the loading begins, as no thread can be made during it: ends the loading
  // once Run has returned, or after 10 s for a Run that waits for it.
  std::promise<void> returned;
  std::atomic<bool> waited{false};
  std::thread releaser([&library, &waited, returnedSoon = returned.get_future()] {
    waited = returnedSoon.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    // A few bytes that are not a library.
    int writer = open(library.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(write(writer, "not an ELF file", 15), 15);
    close(writer);
  });
  std::atomic<long> loaderTid{0};
  std::thread loader([&library, &loaderTid] {
    loaderTid = syscall(SYS_gettid);
    EXPECT_EQ(dlopen(library.c_str(), RTLD_NOW), nullptr) << "a pipe is no library";
  });
  while (loaderTid == 0 || !InSystemCall(loaderTid, SYS_openat)) std::this_thread::yield();

  std::promise<void> ran;
  EXPECT_TRUE(pool.Run("while loading", [&ran] { ran.set_value(); }));
  returned.set_value();
  releaser.join();
  loader.join();
  EXPECT_FALSE(waited) << "Run waited for the library to load";
  ran.get_future().wait();
}

}  // namespace
}  // namespace lumo
