#include "app/worker-pool.h"

#include <atomic>
#include <future>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/support/log-capture.h"

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

}  // namespace
}  // namespace lumo
