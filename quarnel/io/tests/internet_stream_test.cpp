// Remote resources from a loopback server: bodies, statuses, media types,
// error texts, put-back, proxies, and URIs that open through them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/internet_stream.h"
#include "quarnel/uri.h"
#include "support.h"
#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"
#include "wininet/wininet.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelInternetStream;
using ObraCommon::ZelUri;
using quarnel_test::Utf8;
using testsupport::HttpAnswer;

std::string ReadAll(std::istream& in) {
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class RemoteStreams : public ::testing::Test {
 protected:
  testsupport::ScopedEnv http_{"http_proxy", nullptr};
  testsupport::ScopedEnv https_{"https_proxy", nullptr};
  testsupport::ScopedEnv all_{"ALL_PROXY", nullptr};
  testsupport::ScopedEnv no_{"no_proxy", nullptr};
  testsupport::HttpServer server_;
};

TEST_F(RemoteStreams, AnswersAndTheirTexts) {
  std::string body;
  for (int i = 0; body.size() < (1u << 20); ++i) body += std::to_string(i * 7919) + ",";
  body.resize(1u << 20);
  const std::string xml = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8";
  server_.answer("/plain", {xml, body});
  server_.answer("/chunked", {xml, body, true});
  server_.answer("/late", {xml, "arrives late", false, 400});
  server_.answer("/204", {"HTTP/1.1 204 No Content", ""});
  server_.answer("/299", {"HTTP/1.1 299 Odd\r\nContent-Type:  text/plain ", "x"});
  server_.answer("/300", {"HTTP/1.1 300 Choices", "no"});
  server_.answer("/302", {"HTTP/1.1 302 Found\r\nLocation: /plain", ""});
  server_.answer("/semi", {"HTTP/1.1 200 OK\r\nContent-Type: ; x", "s"});
  server_.answer("/long", {"HTTP/1.1 200 OK\r\nContent-Type: text/" + std::string(295, 'l'), "l"});
  struct Case {
    std::string path;
    bool open;
    std::string mediaType;
    std::string error;
    std::string body;
  };
  const Case cases[] = {
      {"/plain", true, "text/xml", "", body},
      {"/chunked", true, "text/xml", "", body},
      {"/late", true, "text/xml", "", "arrives late"},
      {"/204", true, "", "", ""},
      {"/299", true, "text/plain", "", "x"},
      {"/300", false, "", "HTTP status is 300", ""},
      {"/404", false, "", "HTTP status is 404", ""},
      {"/302", true, "text/xml", "", body},
      {"/semi", true, "", "", "s"},
      {"/long", true, "", "", "l"},
  };
  for (const Case& c : cases) {
    ZelInternetStream stream(UnicodeString::fromUTF8(server_.url(c.path)));
    EXPECT_EQ(stream.rdbuf()->isOpen(), c.open) << c.path;
    EXPECT_EQ(Utf8(stream.rdbuf()->getMediaType()), c.mediaType) << c.path;
    EXPECT_EQ(Utf8(stream.rdbuf()->getErrorText()), c.error) << c.path;
    EXPECT_EQ(ReadAll(stream), c.body) << c.path;
  }
  const std::string request = server_.requests().at(0);
  EXPECT_NE(request.find("\r\nUser-Agent: Verandor V3.9 R1 for Windows (3,9,2006,0901)\r\n"), std::string::npos)
      << request;
  EXPECT_TRUE(request.find("\r\nAccept:*/*\r\n") != std::string::npos ||
              request.find("\r\nAccept: */*\r\n") != std::string::npos)
      << request;
  EXPECT_EQ(request.find("Accept-Encoding"), std::string::npos) << request;
}

TEST_F(RemoteStreams, PutBackAfterARefill) {
  std::string body(20000, 'a');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  // The body comes after a pause, so the reader's pieces are 8 KiB.
  server_.answer("/p", {"HTTP/1.1 200 OK", body, false, 300});
  ZelInternetStream stream(UnicodeString::fromUTF8(server_.url("/p")));
  std::string first(8192, '\0');
  stream.read(first.data(), static_cast<std::streamsize>(first.size()));
  ASSERT_EQ(stream.gcount(), 8192);
  int next = stream.get();  // after a refill
  ASSERT_NE(next, EOF);
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(stream.unget()) << i;
  std::string again(17, '\0');
  stream.read(again.data(), 17);
  EXPECT_EQ(again, body.substr(8193 - 16, 17));
}

TEST_F(RemoteStreams, RefusedAndUnknownUrls) {
  std::string closed;
  {
    testsupport::HttpServer gone;
    closed = gone.url("/x");
  }
  struct Case {
    std::string url;
    std::string error;
  };
  const Case cases[] = {
      {closed, "Cannot open URL: 2EFD"},
      {"ftp://127.0.0.1/x", "Cannot open URL: 2EE6"},
      {"data:,abc", "Cannot open URL: 2EE6"},
      {"zz:thing", "Cannot open URL: 2EE6"},
  };
  for (const Case& c : cases) {
    UnicodeString error = u"unset", mediaType = u"unset";
    std::unique_ptr<std::istream> stream(
        ZelUri(UnicodeString::fromUTF8(c.url), ZelUri::URISTR_URI).getStream(&mediaType, &error));
    EXPECT_EQ(stream, nullptr) << c.url;
    EXPECT_EQ(Utf8(error), c.error) << c.url;
    EXPECT_EQ(Utf8(mediaType), "unset") << c.url;
  }
}

TEST_F(RemoteStreams, ProxyFromTheEnvironment) {
  server_.answer("/via", {"HTTP/1.1 200 OK", "proxied"});
  testsupport::ScopedEnv proxy("http_proxy", server_.url("").c_str());
  ZelInternetStream stream(u"http://somewhere.invalid/via");
  EXPECT_EQ(ReadAll(stream), "proxied");
  EXPECT_EQ(server_.requests().at(0).rfind("GET http://somewhere.invalid/via HTTP/1.1\r\n", 0), 0u)
      << server_.requests().at(0);
}

// A loopback listener that never accepts. With fill, its queue is full, so
// a further connection gets no answer to its handshake; without, the
// system completes connections and nothing is ever sent on them.
class SilentListener {
 public:
  explicit SilentListener(bool fill) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 0) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    // Queue connections until one is left waiting.
    for (int i = 0; fill && i < 16; ++i) {
      int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      fillers_.push_back(client);
      ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
      pollfd p{client, POLLOUT, 0};
      if (::poll(&p, 1, 300) == 0) {
        full_ = true;
        break;
      }
    }
  }
  ~SilentListener() {
    for (int client : fillers_) ::close(client);
    if (listener_ >= 0) ::close(listener_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x"; }
  bool full() const { return full_; }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  bool full_ = false;
  std::vector<int> fillers_;
};

struct SessionDefaults {
  SessionDefaults(uint32_t connectMs, uint32_t receiveMs) { wininet::setSessionDefaults(connectMs, receiveMs); }
  ~SessionDefaults() { wininet::setSessionDefaults(60000, 30000); }
};

// The request's connect time-out is lowered to 5 s and put back after it;
// a lower one is kept. A server that never completes the connection or
// never answers fails the stream with the time-out's number, not a hang.
TEST_F(RemoteStreams, TimeOuts) {
  server_.answer("/x", {"HTTP/1.1 200 OK", "x"});
  for (uint32_t connectMs : {60000u, 3000u}) {
    SessionDefaults defaults(connectMs, 30000);
    {
      ZelInternetStream stream(UnicodeString::fromUTF8(server_.url("/x")));
      EXPECT_TRUE(stream.rdbuf()->isOpen());
      EXPECT_EQ(wininet::lastRequestConnectTimeout(), std::min(connectMs, 5000u));
    }
    EXPECT_EQ(wininet::lastClosedSessionConnectTimeout(), connectMs);
  }
  // Each listener can only end the request through its own limit.
  struct Silent {
    bool fill;
    uint32_t connectMs, receiveMs;
  };
  for (const Silent& c : {Silent{true, 1000, 30000}, Silent{false, 60000, 1000}}) {
    SessionDefaults defaults(c.connectMs, c.receiveMs);
    SilentListener silent(c.fill);
    if (c.fill && !silent.full()) {
      ADD_FAILURE() << "the listener's queue did not fill";
      continue;
    }
    ZelInternetStream stream(UnicodeString::fromUTF8(silent.url()));
    EXPECT_FALSE(stream.rdbuf()->isOpen()) << c.fill;
    EXPECT_EQ(Utf8(stream.rdbuf()->getErrorText()), "Cannot open URL: 2EE2") << c.fill;
    EXPECT_EQ(ReadAll(stream), "") << c.fill;
  }
}

TEST_F(RemoteStreams, UrisOpenThroughTheReader) {
  server_.answer("/doc.xml", {"HTTP/1.1 200 OK\r\nContent-Type: application/xml;x=1", "<doc/>"});
  server_.answer("/t.gz", {"HTTP/1.1 200 OK", testsupport::GzipDeflate("unpacked text")});
  testsupport::ZipWriter writer;
  testsupport::ZipEntrySpec spec;
  spec.name = "in/a.txt";
  spec.data = "zipped over http";
  spec.deflate = true;
  writer.add(spec);
  server_.answer("/p.zip", {"HTTP/1.1 200 OK", writer.finish()});

  UnicodeString mediaType, error = u"unset";
  std::unique_ptr<std::istream> doc(
      ZelUri(UnicodeString::fromUTF8(server_.url("/doc.xml")), ZelUri::URISTR_URI).getStream(&mediaType, &error));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(ReadAll(*doc), "<doc/>");
  EXPECT_EQ(Utf8(mediaType), "application/xml");
  EXPECT_TRUE(error.isEmpty());
  doc.reset();  // the server answers one connection at a time

  std::unique_ptr<std::istream> packed(
      ZelUri(UnicodeString::fromUTF8(server_.url("/t.gz")), ZelUri::URISTR_URI).getStream(nullptr));
  ASSERT_NE(packed, nullptr);
  std::unique_ptr<std::istream> unpacked(ZelUri::getGzipStream(*packed));
  EXPECT_EQ(ReadAll(*unpacked), "unpacked text");
  unpacked.reset();
  packed.reset();

  mediaType = u"x";
  std::unique_ptr<std::istream> entry(
      ZelUri(UnicodeString::fromUTF8("jar:" + server_.url("/p.zip") + "!/in/a.txt"), ZelUri::URISTR_URI)
          .getStream(&mediaType));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(ReadAll(*entry), "zipped over http");
  EXPECT_TRUE(mediaType.isEmpty());
}

}  // namespace
