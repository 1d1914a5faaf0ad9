#include "toolkit/browser.h"

#include <arpa/inet.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "platform/ui-loop.h"
#include "tests/support/wait.h"
#include "ui/hard-fail-wnd.h"
#include "ui/web-event-handler.h"

namespace lumo {
namespace {

// A loopback port with nothing listening: bound, read and closed again. (Well-known closed
// ports such as 9 are refused by the browser itself without a load failure.)
int ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

struct Call {
  std::string method;
  std::optional<std::string> argument;
};

class RecordingHandler : public WebEventHandler {
 public:
  RecordingHandler(std::vector<Call>* calls, std::vector<std::string>* errors)
      : WebEventHandler("Main"), calls_(calls), errors_(errors) {}
  void ExternalCall(toolkit::Browser&, const std::string& method,
                    const std::optional<std::string>& argument) override {
    calls_->push_back({method, argument});
  }
  bool NavigateError(toolkit::Browser& browser, const std::string& url,
                     const std::string& error) override {
    errors_->push_back(url);
    return WebEventHandler::NavigateError(browser, url, error);
  }

 private:
  std::vector<Call>* calls_;
  std::vector<std::string>* errors_;
};

// A real web view in a real window: the page's window.external calls reach the handler with
// their first argument, only text counts as an argument, and a page that cannot load is
// reported and replaced by the error page.
TEST(Browser, PageCallsReachTheHandlerAndLoadFailuresAreReported) {
  platform::MarkUiThread();
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  toolkit::Browser* browser = toolkit::Browser::FromView(WEBKIT_WEB_VIEW(view));
  std::vector<Call> calls;
  std::vector<std::string> errors;
  browser->SetEventHandler(std::make_unique<RecordingHandler>(&calls, &errors));
  auto* handler = static_cast<RecordingHandler*>(browser->eventHandler());

  browser->Navigate(
      "data:text/html,<script>window.external.downloadClicked('{\"packageName\":\"a.b\"}');"
      "window.external.cloudClicked(42);window.external.onClickRetry();</script>");
  ASSERT_TRUE(test::WaitFor([&] { return calls.size() >= 3; }, std::chrono::seconds(60), true));
  EXPECT_EQ(calls[0].method, "downloadClicked");
  EXPECT_EQ(calls[0].argument, std::optional<std::string>("{\"packageName\":\"a.b\"}"));
  EXPECT_EQ(calls[1].method, "cloudClicked");
  EXPECT_FALSE(calls[1].argument.has_value());
  EXPECT_EQ(calls[2].method, "onClickRetry");
  EXPECT_TRUE(handler->lastWebUrl().empty());  // a data: page is no web address

  // Nothing listens on the port: the load fails, the handler hears of it and sends the
  // browser to the error page, whose own failure does not start a loop.
  std::string store = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/store.html";
  browser->Navigate(store);
  ASSERT_TRUE(test::WaitFor([&] { return errors.size() >= 2; }, std::chrono::seconds(60), true))
      << errors.size() << " " << (errors.empty() ? "" : errors[0]);
  EXPECT_EQ(errors[0], store);
  EXPECT_EQ(handler->lastWebUrl(), store);
  EXPECT_EQ(errors[1], ErrorPageUrl());
  for (int i = 0; i < 20; ++i) platform::PumpUiLoop();
  EXPECT_EQ(errors.size(), 2u);
  gtk_widget_destroy(window);
}

TEST(HardwareCheck, TwoProcessorsAndTwoGibibytesAreEnough) {
  EXPECT_TRUE(HardwareIsEnough(2, 2147483648ULL));
  EXPECT_TRUE(HardwareIsEnough(8, 16ULL << 30));
  EXPECT_FALSE(HardwareIsEnough(1, 64ULL << 30));
  EXPECT_FALSE(HardwareIsEnough(4, 2147483647ULL));
}

}  // namespace
}  // namespace lumo
