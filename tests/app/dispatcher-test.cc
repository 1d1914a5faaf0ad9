#include "app/dispatcher.h"

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "catalogue/app-item-info.h"
#include "platform/ui-loop.h"
#include "platform/window.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

using platform::WindowHandle;
using test::WaitFor;

constexpr std::uint32_t kMsg = 1500;
constexpr std::uint32_t kOther = 1501;

// A headless window whose procedure hands messages to a dispatcher, as every window does.
class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::MarkUiThread(); }
  void TearDown() override {
    for (WindowHandle window : windows_) {
      dispatcher_.Unregister(kMsg, window);
      dispatcher_.Unregister(kOther, window);
      platform::DestroyMessageWindow(window);
    }
    platform::PumpUiLoop();
  }

  WindowHandle NewWindow() {
    auto self = std::make_shared<WindowHandle>(0);
    *self = platform::CreateMessageWindow(
        "TestWindow", "test " + std::to_string(windows_.size()),
        [this, self](std::uint32_t msg, platform::WParam w, platform::LParam l) {
          return dispatcher_.Dispatch(*self, msg, w, l);
        });
    windows_.push_back(*self);
    return *self;
  }

  Dispatcher dispatcher_;
  std::vector<WindowHandle> windows_;
};

TEST_F(DispatcherTest, SendFromAWorkerReachesEveryWindowInOrderBeforeItReturns) {
  WindowHandle first = NewWindow();
  WindowHandle second = NewWindow();
  std::vector<std::string> seen;
  std::thread::id uiThread = std::this_thread::get_id();
  dispatcher_.Register(kMsg, first, [&](platform::WParam w, platform::LParam l) {
    EXPECT_EQ(std::this_thread::get_id(), uiThread);
    seen.push_back("first " + *reinterpret_cast<std::string*>(w) + " " + std::to_string(l));
  });
  dispatcher_.Register(kMsg, second, [&](platform::WParam w, platform::LParam) {
    seen.push_back("second " + *reinterpret_cast<std::string*>(w));
  });

  std::atomic<bool> returned{false};
  std::size_t seenWhenReturned = 0;
  std::thread worker([&] {
    std::string payload = "pkg";  // lives only for the call, as a sender's data does
    dispatcher_.Send(kMsg, reinterpret_cast<platform::WParam>(&payload), -5);
    seenWhenReturned = seen.size();
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return returned.load(); }, std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(seenWhenReturned, 2u);
  EXPECT_EQ(seen, (std::vector<std::string>{"first pkg -5", "second pkg"}));
}

TEST_F(DispatcherTest, SendsKeepArrivingInOrderWhileAHandlerRunsANestedLoop) {
  WindowHandle window = NewWindow();
  std::vector<int> seen;
  std::atomic<int> sendsReturned{0};
  std::thread second;
  GMainLoop* nested = g_main_loop_new(nullptr, FALSE);
  dispatcher_.Register(kMsg, window, [&](platform::WParam w, platform::LParam) {
    seen.push_back(static_cast<int>(w));
    if (w == 3) g_main_loop_quit(nested);
    if (w != 1) return;
    second = std::thread([&] {
      dispatcher_.Send(kMsg, 2, 0);
      dispatcher_.Send(kMsg, 3, 0);
      ++sendsReturned;
    });
    // Runs the loop as a modal dialog does; the guard only ends a run that would hang.
    unsigned guard = 0;
    guard = platform::AddTimer(20000, [&] {
      guard = 0;
      g_main_loop_quit(nested);
      return false;
    });
    g_main_loop_run(nested);
    platform::CancelTimer(guard);
    seen.push_back(-1);
  });
  std::thread first([&] {
    dispatcher_.Send(kMsg, 1, 0);
    ++sendsReturned;
  });
  ASSERT_TRUE(WaitFor([&] { return sendsReturned == 2; }, std::chrono::seconds(60), true));
  first.join();
  second.join();
  g_main_loop_unref(nested);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, -1}));
}

TEST_F(DispatcherTest, ABatchHandsEachValueOverOnceInOrderAndFreesWhatNobodyTook) {
  WindowHandle first = NewWindow();
  WindowHandle second = NewWindow();
  std::vector<std::string> taken;
  int emptyTakes = 0;
  auto take = [&](platform::WParam w, platform::LParam) {
    std::unique_ptr<std::string> value = Dispatcher::TakeOwned<std::string>(w);
    if (value)
      taken.push_back(*value);
    else
      ++emptyTakes;
  };
  dispatcher_.Register(kMsg, first, take);
  dispatcher_.Register(kMsg, second, take);
  auto untaken = std::make_shared<int>();
  dispatcher_.Register(kOther, first, [](platform::WParam, platform::LParam) {});

  std::atomic<int> handled{-1};
  std::thread worker([&] {
    std::vector<std::unique_ptr<std::string>> values;
    for (const char* text : {"a", "b", "c"}) values.push_back(std::make_unique<std::string>(text));
    handled = dispatcher_.SendOwnedBatch(kMsg, std::move(values));
    std::vector<std::unique_ptr<std::shared_ptr<int>>> ignored;
    ignored.push_back(std::make_unique<std::shared_ptr<int>>(untaken));
    dispatcher_.SendOwnedBatch(kOther, std::move(ignored));
  });
  ASSERT_TRUE(WaitFor([&] { return handled >= 0 && untaken.use_count() == 1; },
                      std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(taken, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(emptyTakes, 3);
  EXPECT_EQ(handled, 6);
}

TEST_F(DispatcherTest, HandlersMayRegisterUnregisterAndSendWithoutDeadlock) {
  WindowHandle window = NewWindow();
  int otherCalls = 0;
  dispatcher_.Register(kMsg, window, [&](platform::WParam, platform::LParam) {
    dispatcher_.Register(kOther, window, [&](platform::WParam, platform::LParam) {
      ++otherCalls;
      dispatcher_.Unregister(kOther, window);
    });
    dispatcher_.Send(kOther, 0, 0);
    dispatcher_.Post(kOther);  // finds no entry by the time it runs
  });
  std::thread worker([&] { dispatcher_.Send(kMsg, 0, 0); });
  ASSERT_TRUE(WaitFor([&] { return otherCalls == 1; }, std::chrono::seconds(20), true));
  worker.join();
  platform::PumpUiLoop();
  EXPECT_EQ(otherCalls, 1);
  EXPECT_FALSE(dispatcher_.Dispatch(window, kOther, 0, 0));
}

TEST_F(DispatcherTest, MessagesToUnregisteredOrDestroyedWindowsAreDropped) {
  WindowHandle window = NewWindow();
  int calls = 0;
  dispatcher_.Register(kMsg, window, [&](platform::WParam, platform::LParam) { ++calls; });
  dispatcher_.Unregister(kMsg, window);
  EXPECT_EQ(dispatcher_.Send(kMsg, 0, 0), 0);
  dispatcher_.Post(kMsg);
  platform::PumpUiLoop();
  EXPECT_EQ(calls, 0);

  // A worker blocked in a send to a window that goes away is released, not left hanging.
  dispatcher_.Register(kMsg, window, [&](platform::WParam, platform::LParam) { ++calls; });
  auto sent = std::async(std::launch::async, [&] { dispatcher_.Send(kMsg, 0, 0); });
  // The send is queued on the UI loop, which nothing pumps now.
  ASSERT_TRUE(WaitFor([] { return g_main_context_pending(nullptr) != FALSE; }));
  platform::DestroyMessageWindow(window);
  EXPECT_EQ(sent.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  platform::PumpUiLoop();
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(platform::PostWindowMessage(window, kMsg, 0, 0));
}

TEST_F(DispatcherTest, ManyWorkersSendingConcurrentlyAllGetThrough) {
  WindowHandle window = NewWindow();
  int total = 0;
  dispatcher_.Register(kMsg, window,
                       [&](platform::WParam w, platform::LParam) { total += static_cast<int>(w); });
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) dispatcher_.Send(kMsg, 1, 0);
      ++finished;
    });
  ASSERT_TRUE(WaitFor([&] { return finished == 4; }, std::chrono::seconds(60), true));
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(total, 800);
}

// An owned value has one owner: the first handler that takes it; a second taker gets nothing,
// and a value nobody took is freed when the send returns, as is one sent to nobody.
TEST_F(DispatcherTest, AnOwnedValueIsTakenOnceAndFreedWhenNobodyTakesIt) {
  struct Counted {
    explicit Counted(int* live) : live_(live) { ++*live_; }
    ~Counted() { --*live_; }
    int* live_;
  };
  int live = 0;
  std::vector<std::unique_ptr<Counted>> kept;
  int emptyTakes = 0;
  auto taker = [&](platform::WParam w, platform::LParam) {
    auto value = Dispatcher::TakeOwned<Counted>(w);
    if (value)
      kept.push_back(std::move(value));
    else
      ++emptyTakes;
  };
  dispatcher_.Register(kMsg, NewWindow(), taker);
  dispatcher_.Register(kMsg, NewWindow(), taker);
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    dispatcher_.SendOwned(kMsg, std::make_unique<Counted>(&live));
    sent = true;
  });
  ASSERT_TRUE(WaitFor([&] { return sent.load(); }, std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_EQ(emptyTakes, 1);
  EXPECT_EQ(live, 1);

  dispatcher_.Register(kOther, NewWindow(), [](platform::WParam, platform::LParam) {});
  dispatcher_.SendOwned(kOther, std::make_unique<Counted>(&live));
  dispatcher_.SendOwned(kOther + 1, std::make_unique<Counted>(&live));
  EXPECT_EQ(live, 1);
}

#ifdef LUMO_CHECK_THREADS
// Checked builds stop a UI-thread-only call from a worker at the call.
TEST_F(DispatcherTest, UiThreadOnlyCallsFromAWorkerAbortInCheckedBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto offThread = [](auto call) { std::thread(call).join(); };
  EXPECT_DEATH(offThread([this] { dispatcher_.Dispatch(0, kMsg, 0, 0); }),
               "Dispatch called off the UI thread");
  AppItemMap records;
  EXPECT_DEATH(offThread([&records] { records.Find("absent"); }), "Find called off the UI thread");
  records.Erase("absent");  // the UI thread itself passes
}
#endif

}  // namespace
}  // namespace lumo
