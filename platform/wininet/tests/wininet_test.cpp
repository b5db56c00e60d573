// The libcurl stand-in's receive limit against a loopback server; answers,
// bodies, refusals and the connect time-out are tested through the remote
// resource reader that uses it.
#include <gtest/gtest.h>

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

}  // namespace
