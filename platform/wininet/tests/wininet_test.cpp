// The libcurl stand-in's options and receive limit against a loopback
// server; answers, bodies and refusals are tested through the remote
// resource reader that uses it.
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

class WinInet : public ::testing::Test {
 protected:
  testsupport::ScopedEnv proxy_{"http_proxy", nullptr};
  testsupport::ScopedEnv proxyAll_{"ALL_PROXY", nullptr};
  testsupport::HttpServer server_;
};

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
