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

#include "app/web-address.h"
#include "platform/ui-loop.h"
#include "tests/support/http-server.h"
#include "tests/support/wait.h"
#include "toolkit/browser-feed.h"
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
  std::string FrameErrorPage(toolkit::Browser&, const std::string&) override {
    return "<p>frame failed</p>";
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

// A page of the store and, inside it, a frame of another origin that tries the bridge and a
// frame that cannot load.
std::string StorePage(const std::string& strangerFrame, const std::string& deadFrame) {
  return "<html><body><script>var r = ["
         "window.external.downloadClicked('{\"packageName\":\"a.b\"}'),"
         "window.external.downloadClicked(), window.external.cloudClicked(42),"
         "window.external.onClickRetry()]; window.external.cloudClicked('x'.repeat(1 << 20));"
         "window.addEventListener('lumo-games', function (e) {"
         "  new Image().src = '/heard-' + JSON.parse(e.detail).games.length + '.png'; });"
         "document.title = r.join(',');"
         "setInterval(function () { var f = document.getElementById('dead');"
         "  if (f.hasAttribute('srcdoc') && !/,frame$/.test(document.title))"
         "    document.title += ',frame'; }, 50);</script>"
         "<iframe src='" +
         strangerFrame +
         "'></iframe>"
         "<iframe id='dead' src='" +
         deadFrame + "'></iframe></body></html>";
}

constexpr char kStrangerFrame[] = R"(<html><body><script>
try { window.external.cloudClicked('file:///etc/passwd'); } catch (e) {}
try { window.webkit.messageHandlers.lumoExternal.postMessage(
    'http://127.0.0.1/\ncloudClicked\nsfile:///etc/passwd'); } catch (e) {}
window.addEventListener('lumo-games', function () { new Image().src = '/leak.png'; });
new Image().src = '/done.png';
</script></body></html>)";

std::string Title(toolkit::Browser* browser) {
  const char* title = webkit_web_view_get_title(browser->view());
  return title ? title : "";
}

// A real web view in a real window: only the store's frames have window.external, their calls
// reach the handler in order with a result for the page, no other address than a web address
// ever loads, and a page that cannot load is reported and replaced by the error page.
TEST(Browser, OnlyTheStoresFramesReachTheHandlerAndOnlyWebAddressesLoad) {
  platform::MarkUiThread();
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  test::HttpServer store;
  test::HttpServer stranger("127.0.0.2");
  test::HttpServer::File page;
  page.type = "text/html";
  std::string deadFrame = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/frame.html";
  page.pattern =
      std::make_shared<const std::string>(StorePage(stranger.Url("/frame.html"), deadFrame));
  page.size = page.pattern->size();
  store.AddFile("/store.html", page);
  page.pattern = std::make_shared<const std::string>(kStrangerFrame);
  page.size = page.pattern->size();
  stranger.AddFile("/frame.html", page);
  stranger.AddFile("/done.png", "done");
  for (const char* file : {"/heard-0.png", "/heard-1.png", "/leak.png"}) {
    store.AddFile(file, "heard");
    stranger.AddFile(file, "heard");
  }
  toolkit::PublishGameStates(R"({"games":[]})");
  toolkit::Browser::SetTrustedPages({WebOrigin(store.Url("/"))}, ErrorPageUrl(),
                                    LUMO_PROGRAM_DIR "/web-extensions");

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  toolkit::Browser* browser = toolkit::Browser::FromView(WEBKIT_WEB_VIEW(view));
  std::vector<Call> calls;
  std::vector<std::string> errors;
  browser->SetEventHandler(std::make_unique<RecordingHandler>(&calls, &errors));
  auto* handler = static_cast<RecordingHandler*>(browser->eventHandler());

  browser->Navigate(store.Url("/store.html"));
  ASSERT_TRUE(test::WaitFor([&] { return stranger.Requests("/done.png") > 0; },
                            std::chrono::seconds(60), true));
  for (int i = 0; i < 20; ++i) platform::PumpUiLoop();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, "downloadClicked");
  EXPECT_EQ(calls[0].argument, std::optional<std::string>("{\"packageName\":\"a.b\"}"));
  EXPECT_EQ(calls[1].method, "onClickRetry");
  // A frame that cannot load shows the error page in its place; the page itself stays.
  ASSERT_TRUE(test::WaitFor([&] { return Title(browser).find(",frame") != std::string::npos; },
                            std::chrono::seconds(60), true))
      << Title(browser);
  EXPECT_EQ(Title(browser), "true,false,false,true,frame");
  EXPECT_EQ(handler->lastWebUrl(), store.Url("/store.html"));
  // The games' states reach the store's page when it loads and at each change; never the
  // stranger's frame inside it.
  ASSERT_TRUE(test::WaitFor([&] { return store.Requests("/heard-0.png") == 1; },
                            std::chrono::seconds(60), true));
  toolkit::PublishGameStates(R"({"games":[{"packageName":"a.b","state":"installed"}]})");
  ASSERT_TRUE(test::WaitFor([&] { return store.Requests("/heard-1.png") == 1; },
                            std::chrono::seconds(60), true));
  for (int i = 0; i < 20; ++i) platform::PumpUiLoop();
  EXPECT_EQ(stranger.Requests("/leak.png") + store.Requests("/leak.png"), 0);

  for (const char* address : {"file:///etc/passwd", "javascript:document.title='taken'",
                              "data:text/html,<title>taken</title>"})
    browser->Navigate(address);
  webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), "location.href = 'file:///etc/hosts'",
                                      -1, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (int i = 0; i < 50; ++i) platform::PumpUiLoop();
  EXPECT_EQ(browser->url(), store.Url("/store.html"));
  EXPECT_EQ(Title(browser), "true,false,false,true,frame");

  // Nothing listens on the port: the load fails, the handler hears of it and sends the
  // browser to the error page, whose own failure does not start a loop.
  std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/store.html";
  browser->Navigate(closed);
  ASSERT_TRUE(test::WaitFor([&] { return errors.size() >= 2; }, std::chrono::seconds(60), true))
      << errors.size() << " " << (errors.empty() ? "" : errors[0]);
  EXPECT_EQ(errors[0], closed);
  EXPECT_EQ(handler->lastWebUrl(), closed);
  EXPECT_EQ(errors[1], ErrorPageUrl());
  for (int i = 0; i < 20; ++i) platform::PumpUiLoop();
  EXPECT_EQ(errors.size(), 2u);
  gtk_widget_destroy(window);
}

}  // namespace
}  // namespace lumo
