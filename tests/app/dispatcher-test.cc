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

// Counts the instances alive, to see who frees an owned value.
struct Counted {
  explicit Counted(int* live, std::string name = {}) : live_(live), name_(std::move(name)) {
    ++*live_;
  }
  ~Counted() { --*live_; }
  int* live_;
  std::string name_;
};

struct Greeting {
  std::string text;
  int number = 0;
};

constexpr Message<Greeting> kGreeting{1500};
constexpr Message<int> kNumber{1501};
constexpr OwnedMessage<Counted> kRecord{1502};
constexpr std::uint32_t kPing = 1503;
constexpr std::uint32_t kPong = 1504;

// Headless windows whose procedures hand posts to a dispatcher, as every window does.
class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::MarkUiThread(); }
  void TearDown() override {
    for (WindowHandle window : windows_) {
      for (std::uint32_t id : {kGreeting.id, kNumber.id, kRecord.id, kPing, kPong})
        dispatcher_.Unregister(id, window);
      platform::DestroyMessageWindow(window);
    }
    platform::PumpUiLoop();
  }

  WindowHandle NewWindow() {
    auto self = std::make_shared<WindowHandle>(0);
    *self = platform::CreateMessageWindow(
        "TestWindow", "test " + std::to_string(windows_.size()),
        [this, self](std::uint32_t msg, platform::WParam, platform::LParam) {
          return dispatcher_.Dispatch(*self, msg);
        });
    windows_.push_back(*self);
    return *self;
  }

  Dispatcher dispatcher_;
  std::vector<WindowHandle> windows_;
};

TEST_F(DispatcherTest, ASendRunsEveryWindowsHandlerOnTheUiThreadBeforeItReturns) {
  WindowHandle first = NewWindow();
  WindowHandle second = NewWindow();
  std::vector<std::string> seen;
  std::thread::id uiThread = std::this_thread::get_id();
  dispatcher_.Register(kGreeting, first, [&](const Greeting& greeting) {
    EXPECT_EQ(std::this_thread::get_id(), uiThread);
    seen.push_back("first " + greeting.text + " " + std::to_string(greeting.number));
  });
  dispatcher_.Register(kGreeting, second, [&](const Greeting& greeting) {
    seen.push_back("second " + greeting.text);
  });

  std::atomic<int> handled{-1};
  std::size_t seenWhenReturned = 0;
  std::thread worker([&] {
    Greeting greeting{"pkg", -5};  // lives only for the call, as a sender's value does
    int ran = dispatcher_.Send(kGreeting, greeting);
    seenWhenReturned = seen.size();
    handled = ran;
  });
  ASSERT_TRUE(WaitFor([&] { return handled >= 0; }, std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(handled, 2);
  EXPECT_EQ(seenWhenReturned, 2u);

  // From the UI thread the handlers run at once; SendTo reaches one window only.
  EXPECT_EQ(dispatcher_.Send(kGreeting, {"direct", 1}), 2);
  EXPECT_TRUE(dispatcher_.SendTo(kGreeting, second, {"only", 0}));
  EXPECT_FALSE(dispatcher_.SendTo(kNumber, second, 3));
  EXPECT_EQ(seen, (std::vector<std::string>{"first pkg -5", "second pkg", "first direct 1",
                                            "second direct", "second only"}));

  // A post goes through the window's procedure; a plain window message with a typed id finds
  // no handler to run.
  int pings = 0;
  dispatcher_.Register(kPing, first, [&] { ++pings; });
  dispatcher_.Post(kPing);
  EXPECT_EQ(pings, 0);
  platform::PumpUiLoop();
  EXPECT_EQ(pings, 1);
  EXPECT_FALSE(platform::SendWindowMessage(first, kGreeting.id, 0, 0));
  EXPECT_EQ(seen.size(), 5u);
}

TEST_F(DispatcherTest, SendsKeepArrivingInOrderWhileAHandlerRunsANestedLoop) {
  WindowHandle window = NewWindow();
  std::vector<int> seen;
  std::atomic<int> sendsReturned{0};
  std::thread second;
  GMainLoop* nested = g_main_loop_new(nullptr, FALSE);
  dispatcher_.Register(kNumber, window, [&](const int& number) {
    seen.push_back(number);
    if (number == 3) g_main_loop_quit(nested);
    if (number != 1) return;
    second = std::thread([&] {
      dispatcher_.Send(kNumber, 2);
      dispatcher_.Send(kNumber, 3);
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
    dispatcher_.Send(kNumber, 1);
    ++sendsReturned;
  });
  ASSERT_TRUE(WaitFor([&] { return sendsReturned == 2; }, std::chrono::seconds(60), true));
  first.join();
  second.join();
  g_main_loop_unref(nested);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, -1}));
}

TEST_F(DispatcherTest, AWindowGoingAwayReleasesAWaitingSenderButNotOneWhoseHandlerRuns) {
  WindowHandle window = NewWindow();
  int calls = 0;
  dispatcher_.Register(kNumber, window, [&](const int&) { ++calls; });
  auto sent = std::async(std::launch::async, [&] { return dispatcher_.Send(kNumber, 1); });
  // The send is queued on the UI loop, which nothing pumps now.
  ASSERT_TRUE(WaitFor([] { return g_main_context_pending(nullptr) != FALSE; }));
  platform::DestroyMessageWindow(window);
  ASSERT_EQ(sent.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(sent.get(), 0);
  platform::PumpUiLoop();
  EXPECT_EQ(calls, 0);
  // Still registered, but gone: later sends return at once.
  EXPECT_EQ(dispatcher_.Send(kNumber, 2), 0);

  // A handler that closes its own window still reads the sender's value to the end.
  WindowHandle closing = NewWindow();
  std::atomic<bool> returned{false};
  std::string read;
  dispatcher_.Register(kGreeting, closing, [&](const Greeting& greeting) {
    platform::DestroyMessageWindow(closing);
    EXPECT_FALSE(WaitFor([&] { return returned.load(); }, std::chrono::milliseconds(300)));
    read = greeting.text;
  });
  std::thread worker([&] {
    dispatcher_.Send(kGreeting, {std::string(64, 'x'), 0});
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return returned.load(); }, std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(read, std::string(64, 'x'));
}

TEST_F(DispatcherTest, ABatchHandsEachValueOverOnceInOrderAndFreesWhatNobodyTook) {
  int live = 0;
  std::vector<std::string> taken;
  int emptyTakes = 0;
  auto take = [&](std::unique_ptr<Counted>& value) {
    std::unique_ptr<Counted> mine = std::move(value);
    if (mine)
      taken.push_back(mine->name_);
    else
      ++emptyTakes;
  };
  dispatcher_.Register(kRecord, NewWindow(), take);
  dispatcher_.Register(kRecord, NewWindow(), take);

  std::atomic<int> handled{-1};
  std::thread worker([&] {
    std::vector<std::unique_ptr<Counted>> values;
    for (const char* name : {"a", "b", "c"})
      values.push_back(std::make_unique<Counted>(&live, name));
    handled = dispatcher_.SendOwnedBatch(kRecord, std::move(values));
  });
  ASSERT_TRUE(WaitFor([&] { return handled >= 0; }, std::chrono::seconds(20), true));
  worker.join();
  EXPECT_EQ(taken, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(emptyTakes, 3);
  EXPECT_EQ(handled, 6);
  EXPECT_EQ(live, 0);

  for (WindowHandle window : windows_) dispatcher_.Unregister(kRecord, window);
  dispatcher_.Register(kRecord, NewWindow(), [](std::unique_ptr<Counted>&) {});
  std::vector<std::unique_ptr<Counted>> ignored;
  ignored.push_back(std::make_unique<Counted>(&live));
  ignored.push_back(std::make_unique<Counted>(&live));
  EXPECT_EQ(dispatcher_.SendOwnedBatch(kRecord, std::move(ignored)), 2);
  EXPECT_EQ(live, 0);
}

TEST_F(DispatcherTest, HandlersMayRegisterUnregisterAndSendWithoutDeadlock) {
  WindowHandle window = NewWindow();
  int pongs = 0;
  dispatcher_.Register(kNumber, window, [&](const int&) {
    dispatcher_.Register(kGreeting, window, [&](const Greeting&) {
      ++pongs;
      dispatcher_.Unregister(kGreeting, window);
    });
    dispatcher_.Send(kGreeting, {});
    dispatcher_.Register(kPong, window, [&] { ++pongs; });
    dispatcher_.Post(kPong);
    dispatcher_.Unregister(kPong, window);  // the post finds no handler by the time it runs
  });
  std::thread worker([&] { dispatcher_.Send(kNumber, 0); });
  ASSERT_TRUE(WaitFor([&] { return pongs == 1; }, std::chrono::seconds(20), true));
  worker.join();
  platform::PumpUiLoop();
  EXPECT_EQ(pongs, 1);
  EXPECT_EQ(dispatcher_.Send(kGreeting, {}), 0);
}

#ifdef LUMO_CHECK_THREADS
// Checked builds stop a UI-thread-only call from a worker at the call.
TEST_F(DispatcherTest, UiThreadOnlyCallsFromAWorkerAbortInCheckedBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto offThread = [](auto call) { std::thread(call).join(); };
  EXPECT_DEATH(offThread([this] { dispatcher_.Dispatch(0, kPing); }),
               "Dispatch called off the UI thread");
  AppItemMap records;
  EXPECT_DEATH(offThread([&records] { records.Find("absent"); }), "Find called off the UI thread");
  records.Erase("absent");  // the UI thread itself passes
}
#endif

}  // namespace
}  // namespace lumo
