// The libcurl stand-in against a loopback server: status, content type,
// bodies, refusals, options and the receive limit.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "wininet/wininet.h"

namespace {

struct Opened {
  wininet::Handle session = nullptr;
  wininet::Handle request = nullptr;
  uint32_t error = 0;
  ~Opened() {
    if (request != nullptr) wininet::closeHandle(request);
    if (session != nullptr) wininet::closeHandle(session);
  }
};

void Open(Opened& opened, const std::string& url, uint32_t receiveMs = 30000) {
  opened.session = wininet::openSession("agent/1", 0);
  ASSERT_TRUE(wininet::setOption(opened.session, wininet::kReceiveTimeout, receiveMs));
  opened.request = wininet::openUrl(opened.session, url.c_str(), "Accept:*/*\r\n\r\n", 0x80000000u);
  opened.error = opened.request == nullptr ? wininet::lastError() : 0;
}

std::string Info(wininet::Handle request, wininet::Query query) {
  char buffer[256];
  uint32_t size = sizeof buffer;
  return wininet::queryInfo(request, query, buffer, size) ? std::string(buffer, size) : "<none>";
}

std::string Body(wininet::Handle request) {
  std::string body;
  char buffer[1000];
  uint32_t read = 0;
  while (wininet::readFile(request, buffer, sizeof buffer, read) && read > 0) body.append(buffer, read);
  return body;
}

class WinInet : public ::testing::Test {
 protected:
  testsupport::ScopedEnv proxy_{"http_proxy", nullptr};
  testsupport::ScopedEnv proxyAll_{"ALL_PROXY", nullptr};
  testsupport::HttpServer server_;
};

TEST_F(WinInet, AnswersAndBodies) {
  std::string big(300000, 'b');
  server_.answer("/ok", {"HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8", "<a/>"});
  server_.answer("/big", {"HTTP/1.1 200 OK", big, true});
  server_.answer("/moved", {"HTTP/1.1 302 Found\r\nLocation: /ok", ""});
  server_.answer("/300", {"HTTP/1.1 300 Choices", "c"});
  struct Case {
    std::string path;
    std::string status;
    std::string type;
    std::string body;
  };
  const Case cases[] = {
      {"/ok", "200", "text/xml; charset=utf-8", "<a/>"},
      {"/big", "200", "<none>", big},
      {"/moved", "200", "text/xml; charset=utf-8", "<a/>"},
      {"/300", "300", "<none>", "c"},
      {"/nothing", "404", "text/plain", "missing"},
  };
  for (const Case& c : cases) {
    Opened opened;
    Open(opened, server_.url(c.path));
    ASSERT_NE(opened.request, nullptr) << c.path << " " << opened.error;
    EXPECT_EQ(Info(opened.request, wininet::kQueryStatusCode), c.status) << c.path;
    EXPECT_EQ(Info(opened.request, wininet::kQueryContentType), c.type) << c.path;
    EXPECT_EQ(Body(opened.request), c.body) << c.path;
  }
  const std::string first = server_.requests().at(0);
  EXPECT_TRUE(first.find("\r\nAccept:*/*\r\n") != std::string::npos ||
              first.find("\r\nAccept: */*\r\n") != std::string::npos)
      << first;
  EXPECT_EQ(first.find("Accept-Encoding"), std::string::npos) << first;
  EXPECT_NE(server_.requests().at(0).find("\r\nUser-Agent: agent/1\r\n"), std::string::npos);
}

TEST_F(WinInet, RefusalsGiveWinInetNumbers) {
  struct Case {
    std::string url;
    uint32_t error;
  };
  testsupport::HttpServer closed;
  std::string refused = closed.url("/");
  const Case cases[] = {
      {"ftp://127.0.0.1/x", wininet::kUnrecognizedScheme},
      {"data:,abc", wininet::kUnrecognizedScheme},
      {"nothing", wininet::kInvalidUrl},
      {"http://name.invalid/", wininet::kNameNotResolved},
  };
  for (const Case& c : cases) {
    Opened opened;
    Open(opened, c.url);
    EXPECT_EQ(opened.request, nullptr) << c.url;
    EXPECT_EQ(opened.error, c.error) << c.url;
  }
}

TEST_F(WinInet, OptionsAndTheReceiveLimit) {
  wininet::Handle session = wininet::openSession("a", 0);
  uint32_t value = 0;
  ASSERT_TRUE(wininet::queryOption(session, wininet::kConnectTimeout, value));
  EXPECT_EQ(value, 60000u);
  ASSERT_TRUE(wininet::setOption(session, wininet::kConnectTimeout, 3000));
  ASSERT_TRUE(wininet::queryOption(session, wininet::kConnectTimeout, value));
  EXPECT_EQ(value, 3000u);
  EXPECT_FALSE(wininet::queryOption(session, wininet::kProxy, value));
  EXPECT_FALSE(wininet::queryOption(nullptr, wininet::kConnectTimeout, value));
  EXPECT_EQ(wininet::lastError(), wininet::kIncorrectHandleType);
  wininet::closeHandle(session);

  server_.answer("/stall", {"HTTP/1.1 200 OK", "", false, 0, 8000});
  Opened opened;
  Open(opened, server_.url("/stall"), 1000);
  ASSERT_NE(opened.request, nullptr);
  char buffer[10];
  uint32_t read = 0;
  EXPECT_FALSE(wininet::readFile(opened.request, buffer, sizeof buffer, read));
  EXPECT_EQ(wininet::lastError(), wininet::kTimeout);
}

}  // namespace
