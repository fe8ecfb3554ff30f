#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "platform/net/http.h"
#include "publicfun/http_probe.h"
#include "qelshare/CPublicFun.h"
#include "support/http_server.h"

namespace http_test {

using namespace std::chrono_literals;
using qel::testing::HttpServer;

class HttpProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Only the local server is ever asked, never through a proxy.
    for (char const* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
    saved_ = qel::net::GetTimeouts();
    qel::net::SetTimeouts({500ms, 1000ms});
  }
  void TearDown() override { qel::net::SetTimeouts(saved_); }

  HttpServer server_;
  qel::net::Timeouts saved_;
};

TEST_F(HttpProbeTest, AnswersDecideBothProbes) {
  struct Case {
    char const* path;
    int command;  // URLCommand
    int check;    // CheckHttpFile
  } cases[] = {
      {"/ok", 1, 1},       {"/auth", 0, 0},    {"/moved", 0, 0},   {"/found", 0, 0},
      {"/other", 0, 0},    {"/missing", 0, 1}, {"/bare404", 0, 0}, {"/lower", 0, 0},
      {"/continue", 1, 1}, {"/big", 1, 1},     {"/garbage", 0, 0}, {"/close", 0, 0},
  };
  for (auto const& c : cases) {
    std::string url = server_.Url(c.path);
    EXPECT_EQ(CPublicFun::URLCommand(url.c_str()), c.command) << c.path;
    EXPECT_EQ(CPublicFun::CheckHttpFile(url.c_str()), c.check) << c.path;
  }
}

TEST_F(HttpProbeTest, SendsTheAgentsAndNothingForOtherSchemes) {
  ASSERT_EQ(CPublicFun::URLCommand(server_.Url("/ok").c_str()), 1);
  EXPECT_NE(server_.last_request().find("User-Agent: QelCommand\r\n"), std::string::npos);
  EXPECT_EQ(server_.last_request().rfind("GET /ok HTTP/1.1\r\n", 0), 0u);
  ASSERT_EQ(CPublicFun::CheckHttpFile(server_.Url("/ok").c_str()), 1);
  EXPECT_NE(server_.last_request().find("User-Agent: QelClient\r\n"), std::string::npos);

  int before = server_.requests();
  std::string ftp = server_.Url("/ok");
  ftp.replace(0, 4, "ftp");
  std::string https = server_.Url("/ok");
  https.replace(0, 4, "https");
  for (char const* url : {ftp.c_str(), https.c_str(), "", "not an address", "http://",
                          static_cast<char const*>(nullptr)}) {
    EXPECT_EQ(CPublicFun::URLCommand(url), 0);
    EXPECT_EQ(CPublicFun::CheckHttpFile(url), 0);
  }
  EXPECT_EQ(server_.requests(), before);
}

TEST_F(HttpProbeTest, TimeoutsEndSilentServers) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CPublicFun::URLCommand(server_.Url("/hang").c_str()), 0);
  EXPECT_EQ(CPublicFun::CheckHttpFile(server_.Url("/hang").c_str()), 0);
  // Headers came but the body never does: only the probe that reads it fails.
  EXPECT_EQ(CPublicFun::URLCommand(server_.Url("/slowbody").c_str()), 0);
  EXPECT_EQ(CPublicFun::CheckHttpFile(server_.Url("/slowbody").c_str()), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(HttpProbeTest, VerdictsNameTheirRule) {
  qel::net::Response seen;
  auto v = qel::probe::UrlCommand(server_.Url("/moved").c_str(), &seen);
  EXPECT_EQ(v.result, 0);
  EXPECT_EQ(v.rule, "status 301: redirections are not followed");
  EXPECT_EQ(seen.status_line, "HTTP/1.1 301 Moved Permanently");
  EXPECT_EQ(seen.raw_headers.rfind("HTTP/1.1 301 Moved Permanently\r\nLocation: /ok\r\n", 0), 0u);
  v = qel::probe::CheckHttpFile(server_.Url("/missing").c_str(), &seen);
  EXPECT_EQ(v.rule, "the headers hold \"Content-Type:\"");
  EXPECT_EQ(seen.status, 404);
  v = qel::probe::UrlCommand(server_.Url("/big").c_str(), &seen);
  EXPECT_EQ(seen.body.size(), qel::probe::kCommandBodyBytes);
}

}  // namespace http_test
