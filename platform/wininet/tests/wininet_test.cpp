// The libcurl stand-in's receive limit against a loopback server; answers,
// bodies, refusals and the connect time-out are tested through the remote
// resource reader that uses it. Without libcurl a request fails as one to
// an unreachable host, and the next one after it is back works again.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "wininet/wininet.h"

namespace {

TEST(WinInet, StalledBodyFailsWithinTheReceiveLimit) {
  testsupport::ScopedEnv proxy("http_proxy", nullptr);
  testsupport::ScopedEnv proxyAll("ALL_PROXY", nullptr);
  testsupport::HttpServer server;
  server.answer("/stall", {"HTTP/1.1 200 OK", "", false, 0, 8000});
  wininet::Handle session = wininet::openSession("agent/1", 0);
  ASSERT_TRUE(wininet::setOption(session, wininet::kReceiveTimeout, 1000));
  wininet::Handle request =
      wininet::openUrl(session, server.url("/stall").c_str(), "Accept:*/*\r\n\r\n", 0x80000000u);
  ASSERT_NE(request, nullptr) << wininet::lastError();
  char buffer[10];
  uint32_t read = 0;
  EXPECT_FALSE(wininet::readFile(request, buffer, sizeof buffer, read));
  EXPECT_EQ(wininet::lastError(), wininet::kTimeout);
  EXPECT_TRUE(wininet::closeHandle(request));
  EXPECT_TRUE(wininet::closeHandle(session));
  EXPECT_FALSE(wininet::closeHandle(nullptr));
  EXPECT_EQ(wininet::lastError(), wininet::kIncorrectHandleType);
}

TEST(WinInet, WithoutLibcurlRequestsFailAsUnreachable) {
  testsupport::ScopedEnv proxy("http_proxy", nullptr);
  testsupport::ScopedEnv proxyAll("ALL_PROXY", nullptr);
  testsupport::HttpServer server;
  server.answer("/", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain", "text", false, 0, 0});
  const std::string url = server.url("/");
  struct Case {
    const char* soname;
    bool reached;
  };
  // A missing file; a library that loads but is not libcurl; libcurl again.
  const Case cases[] = {{"libcurl-absent.so.4", false}, {"libz.so.1", false}, {"libcurl.so.4", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.soname);
    wininet::useCurlLibrary(c.soname);
    wininet::Handle session = wininet::openSession("agent/1", 0);
    ASSERT_NE(session, nullptr);
    wininet::Handle request = wininet::openUrl(session, url.c_str(), "", 0);
    if (c.reached) {
      ASSERT_NE(request, nullptr) << wininet::lastError();
      char buffer[8] = {};
      uint32_t read = 0;
      EXPECT_TRUE(wininet::readFile(request, buffer, sizeof buffer, read));
      EXPECT_EQ(std::string(buffer, read), "text");
      EXPECT_TRUE(wininet::closeHandle(request));
    } else {
      EXPECT_EQ(request, nullptr);
      EXPECT_EQ(wininet::lastError(), wininet::kCannotConnect);
    }
    EXPECT_TRUE(wininet::closeHandle(session));
  }
  wininet::useCurlLibrary("libcurl.so.4");
}

}  // namespace
