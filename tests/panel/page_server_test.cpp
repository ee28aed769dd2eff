// The settings page served on a socket, as a browser and as other local
// programs reach it: only the printed address with this run's token is
// served, changes come only from the page's own origin as JSON, bodies are
// capped before they are read, idle and trickling clients leave the page
// free for others, and saving writes through links without leaving
// temporaries.
#include "cli/page/page_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/session.h"
#include "settings/filter_settings.h"
#include "tests/panel/panel_fixture.h"

namespace lensfall::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A connected socket to the server, closed when it goes.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&address),
                           sizeof address) == 0;
    timeval wait{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~RawClient() { ::close(fd_); }
  bool connected() const { return connected_; }
  void send(const std::string &bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              ssize_t(bytes.size()));
  }
  // The status code of the first response line, or 0 when none came.
  int status() {
    std::string answer;
    char buffer[4096];
    while (answer.find("\r\n") == std::string::npos) {
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return 0;
      answer.append(buffer, size_t(got));
    }
    return std::stoi(answer.substr(answer.find(' ') + 1, 3));
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

class PageServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("lensfall_server_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    scenePath = dir / "shot.json";
    host::Session maker(LENSFALL_MODULE_PATH);
    maker.scene().setCamera(HostCameraLens{}, {0.0, -8.0, 1.0});
    maker.filter().create();
    maker.saveScene(scenePath);
  }

  void start(const fs::path &opened) {
    session = std::make_unique<host::Session>(LENSFALL_MODULE_PATH);
    session->openScene(opened);
    page = std::make_unique<cli::SettingsPage>(*session, opened);
    server = std::make_unique<cli::PageServer>(*page);
    server->bind(0);
    serving = std::thread([this] { server->run(); });
    while (!server->running()) std::this_thread::yield();
    port = server->port();
    own = "http://127.0.0.1:" + std::to_string(port);
  }

  void TearDown() override {
    if (server) server->stop();
    if (serving.joinable()) serving.join();
    server.reset();
    page.reset();
    session.reset();
    fs::remove_all(dir);
  }

  FilterSettings &record() {
    return *static_cast<FilterSettings *>(session->instances().back());
  }

  httplib::Client client() {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(10, 0);
    return c;
  }
  httplib::Headers withToken(httplib::Headers headers = {}) {
    headers.emplace("X-Lensfall-Token", server->token());
    return headers;
  }
  int postEdit(httplib::Headers headers, const std::string &body,
               const char *type = "application/json") {
    if (headers.find("X-Lensfall-Token") == headers.end()) {
      headers = withToken(headers);
    }
    auto result = client().Post("/api/value", headers, body, type);
    return result ? result->status : 0;
  }

  fs::path dir, scenePath;
  std::unique_ptr<host::Session> session;
  std::unique_ptr<cli::SettingsPage> page;
  std::unique_ptr<cli::PageServer> server;
  std::thread serving;
  int port = 0;
  std::string own;
};

TEST_F(PageServerTest, OnlyThePrintedHostIsServed) {
  start(scenePath);
  EXPECT_EQ(server->address(), own + "/?token=" + server->token());
  EXPECT_EQ(server->token().size(), 64u);
  const std::string p = std::to_string(port);
  const struct {
    std::string host;
    int status;
  } cases[] = {
      {"127.0.0.1:" + p, 200},    {"localhost:" + p, 200},
      {"evil.example:" + p, 421}, {"127.0.0.1", 421},
      {"localhost", 421},         {"127.0.0.1:" + p + "0", 421},
      {"[::1]:" + p, 421},        {"192.168.1.5:" + p, 421},
  };
  for (const auto &c : cases) {
    RawClient raw(port);
    ASSERT_TRUE(raw.connected());
    raw.send("GET /api/form HTTP/1.1\r\nHost: " + c.host +
             "\r\nX-Lensfall-Token: " + server->token() +
             "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(raw.status(), c.status) << c.host;
  }
}

TEST_F(PageServerTest, EveryRequestNeedsThisRunsToken) {
  start(scenePath);
  httplib::Client c = client();
  auto page = c.Get(("/?token=" + server->token()).c_str());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("X-Lensfall-Token"), std::string::npos);
  // No other page may frame it, and its address goes to no one.
  EXPECT_NE(page->get_header_value("Content-Security-Policy")
                .find("frame-ancestors 'none'"),
            std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
  std::string wrong = server->token();
  wrong.back() = wrong.back() == '0' ? '1' : '0';
  for (const std::string &path :
       {std::string("/"), std::string("/?token="), "/?token=" + wrong}) {
    auto refused = c.Get(path.c_str());
    ASSERT_TRUE(refused) << path;
    EXPECT_EQ(refused->status, 403) << path;
  }
  for (const char *path : {"/api/form", "/api/thumbnail.png"}) {
    EXPECT_EQ(c.Get(path)->status, 403) << path;
    EXPECT_EQ(c.Get(path, {{"X-Lensfall-Token", wrong}})->status, 403) << path;
    // The token in the address is for the page only.
    EXPECT_EQ(c.Get((std::string(path) + "?token=" + server->token()).c_str())
                  ->status,
              403)
        << path;
    EXPECT_EQ(c.Get(path, withToken())->status, 200) << path;
  }
  const FilterSettings before = record();
  auto save = c.Post("/api/save", {}, "{}", "application/json");
  ASSERT_TRUE(save);
  EXPECT_EQ(save->status, 403);
  EXPECT_EQ(
      postEdit({{"X-Lensfall-Token", wrong}}, R"({"id": 32780, "value": 1})"),
      403);
  EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0);
}

TEST_F(PageServerTest, ChangesComeOnlyFromThePagesOwnOriginAsJson) {
  start(scenePath);
  const FilterSettings before = record();
  const std::string other = "http://127.0.0.1:" + std::to_string(port + 1);
  for (const std::string &origin :
       {other, std::string("http://evil.example"), std::string("null"),
        "https://127.0.0.1:" + std::to_string(port)}) {
    EXPECT_EQ(postEdit({{"Origin", origin}}, R"({"id": 32780, "value": 1})"),
              403)
        << origin;
  }
  const struct {
    const char *type;
    int status;
  } types[] = {{"text/plain", 415},
               {"application/x-www-form-urlencoded", 415},
               {"", 415},
               {"application/jsonx", 415}};
  for (const auto &t : types) {
    EXPECT_EQ(
        postEdit({{"Origin", own}}, R"({"id": 32780, "value": 1})", t.type),
        t.status)
        << t.type;
  }
  // What a plain form can post: text/plain, or multipart.
  auto multipart = client().Post("/api/value", withToken(),
                                 "--x\r\nContent-Disposition: form-data; "
                                 "name=\"id\"\r\n\r\n32780\r\n--x--\r\n",
                                 "multipart/form-data; boundary=x");
  ASSERT_TRUE(multipart);
  EXPECT_EQ(multipart->status, 415);
  auto save = client().Post("/api/save", withToken(), "", "text/plain");
  ASSERT_TRUE(save);
  EXPECT_EQ(save->status, 415);
  EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0);

  // The page's own requests, from either printed name, go through.
  EXPECT_EQ(postEdit({{"Origin", own}}, R"({"id": 32780, "value": 1})",
                     "application/json; charset=utf-8"),
            200);
  EXPECT_EQ(record().apertureShape, 1);
  EXPECT_EQ(postEdit({{"Origin", "http://localhost:" + std::to_string(port)}},
                     R"({"id": 32780, "value": 2})"),
            200);
  EXPECT_EQ(record().apertureShape, 2);
}

TEST_F(PageServerTest, LongBodiesAreRefusedUnread) {
  start(scenePath);
  const std::string head =
      "POST /api/value HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nX-Lensfall-Token: " + server->token() +
      "\r\nContent-Type: application/json\r\n";
  {
    // 300 MB announced, a few bytes sent: the answer comes without the rest.
    RawClient raw(port);
    raw.send(head + "Content-Length: 300000000\r\n\r\n{\"id\": 1");
    EXPECT_EQ(raw.status(), 413);
  }
  {
    RawClient raw(port);
    raw.send(head + "Transfer-Encoding: chunked\r\n\r\n5\r\n{\"id\"\r\n");
    EXPECT_EQ(raw.status(), 411);
  }
  {
    RawClient raw(port);
    raw.send(head + "\r\n{\"id\": 32780, \"value\": 1}");
    EXPECT_EQ(raw.status(), 411);
  }
  const std::string justOver(cli::kMaxPageBodyBytes + 1, ' ');
  EXPECT_EQ(postEdit({}, justOver), 413);
  EXPECT_EQ(postEdit({}, R"({"id": 32780, "value": 1})" +
                             std::string(cli::kMaxPageBodyBytes - 40, ' ')),
            200);
}

TEST_F(PageServerTest, IdleAndTricklingClientsLeaveThePageFree) {
  start(scenePath);
  std::vector<std::unique_ptr<RawClient>> stuck;
  // Connections that never send, one that sent half a request and one that
  // trickles its headers a byte at a time.
  for (int k = 0; k < 3; ++k)
    stuck.push_back(std::make_unique<RawClient>(port));
  stuck.push_back(std::make_unique<RawClient>(port));
  stuck.back()->send("GET /api/form HTTP/1.1\r\nHost: 127.0.0.1:" +
                     std::to_string(port) + "\r\n");
  auto trickler = std::make_unique<RawClient>(port);
  std::atomic<bool> trickling = true;
  std::thread trickle([&] {
    const std::string request =
        "GET /api/form HTTP/1.1\r\nX-Padding: " + std::string(200, 'a');
    for (char c : request) {
      if (!trickling) break;
      trickler->send(std::string(1, c));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A browser's keep-alive connection and fresh ones are all answered.
  httplib::Client c = client();
  c.set_keep_alive(true);
  for (int k = 0; k < 5; ++k) {
    auto form = c.Get("/api/form", withToken());
    ASSERT_TRUE(form) << k;
    EXPECT_EQ(form->status, 200);
    auto fresh = client().Get("/api/form", withToken());
    ASSERT_TRUE(fresh) << k;
    EXPECT_EQ(fresh->status, 200);
  }
  trickling = false;
  trickle.join();
}

TEST_F(PageServerTest, SavingWritesThroughALinkAndLeavesNoTemporary) {
  const fs::path link = dir / "link.json";
  fs::create_symlink(scenePath.filename(), link);
  start(link);
  ASSERT_EQ(postEdit({}, R"({"id": 32780, "value": 2})"), 200);
  auto saved =
      client().Post("/api/save", withToken(), "{}", "application/json");
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->status, 200) << saved->body;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(scenePath)));
  // The shape is the saved items' twelfth.
  EXPECT_EQ(json::parse(std::ifstream(scenePath))["filters"][0]["data"][11], 2);

  // A save that cannot replace the file (the name is now a folder that is
  // not empty) fails, says so, and leaves only what was there.
  fs::remove(scenePath);
  fs::create_directories(scenePath / "inside");
  auto failed =
      client().Post("/api/save", withToken(), "{}", "application/json");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);
  EXPECT_NE(
      json::parse(failed->body)["error"].get<std::string>().find("link.json"),
      std::string::npos)
      << failed->body;
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.json", "shot.json"}));
}

}  // namespace
}  // namespace lensfall::testing
