#include "store/store-server.h"

#include <ctime>
#include <filesystem>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/process.h"
#include "tests/support/http-server.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

const std::string kStore = std::string(LUMO_PROGRAM_DIR) + "/store";

// A store server on a free port of 127.0.0.1, serving on a thread of its own.
class RunningStore {
 public:
  explicit RunningStore(const fs::path& root) : server_(root) {
    EXPECT_TRUE(server_.Bind("127.0.0.1", 0, nullptr));
    thread_ = std::thread([this] { server_.Run(); });
    test::WaitFor([this] { return static_cast<bool>(Client().Head("/nothing")); });
  }
  ~RunningStore() {
    server_.Stop();
    thread_.join();
  }
  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", server_.port());
    client.set_url_encode(false);
    return client;
  }
  int port() const { return server_.port(); }

 private:
  store::StoreServer server_;
  std::thread thread_;
};

TEST(StoreServer, ApkAnswersWithLengthRangesAndValidators) {
  const std::string path = "/apk/com.lumo.demo.retroracer.apk";
  const std::string body = test::ReadFile(kStore + path);
  const std::string size = std::to_string(body.size());
  ASSERT_GT(body.size(), 1000u);
  RunningStore store(kStore);
  httplib::Client client = store.Client();

  auto whole = client.Get(path);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, body);
  EXPECT_EQ(whole->get_header_value("Content-Length"), size);
  EXPECT_EQ(whole->get_header_value("Content-Type"), "application/vnd.android.package-archive");
  std::string etag = whole->get_header_value("ETag");
  EXPECT_EQ(etag.front(), '"');

  auto part = client.Get(path, {{"Range", "bytes=100-199"}});
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, body.substr(100, 100));
  EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 100-199/" + size);
  auto tail = client.Get(path, {{"Range", "bytes=-10"}, {"If-Range", etag}});
  EXPECT_EQ(tail->status, 206);
  EXPECT_EQ(tail->body, body.substr(body.size() - 10));
  auto beyond = client.Get(path, {{"Range", "bytes=" + size + "-"}});
  EXPECT_EQ(beyond->status, 416);
  EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */" + size);
  // A client holding another version gets the whole new file, not a piece of it.
  auto changed = client.Get(path, {{"Range", "bytes=0-9"}, {"If-Range", "\"other\""}});
  EXPECT_EQ(changed->status, 200);
  EXPECT_EQ(changed->body.size(), body.size());
  EXPECT_EQ(client.Get(path, {{"If-None-Match", etag}})->status, 304);
}

TEST(StoreServer, PathsLeavingTheFolderAre404) {
  test::TempDir dir;
  fs::create_directories(dir / "site/app");
  test::WriteFile(dir / "site/index.html", "home");
  test::WriteFile(dir / "secret.txt", "secret");
  fs::create_symlink("../secret.txt", dir / "site/out");
  fs::create_symlink("index.html", dir / "site/in");
  RunningStore store(dir / "site");
  httplib::Client client = store.Client();

  for (const std::string& path : std::vector<std::string>{
           "/../secret.txt", "/app/../../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt",
           "/..%2fsecret.txt", "/app/..%2f..%2fsecret.txt", "/out", dir / "secret.txt",
           "//" + dir / "secret.txt", "/app", "/nothing"}) {
    auto response = client.Get(path);
    ASSERT_TRUE(response) << path;
    EXPECT_EQ(response->status, 404) << path;
    EXPECT_EQ(response->body.find("secret"), std::string::npos) << path;
  }
  EXPECT_EQ(client.Get("/")->body, "home");
  EXPECT_EQ(client.Get("/in")->body, "home");
}

}  // namespace
}  // namespace lumo
