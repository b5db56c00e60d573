// Remote resources through the WinINet stand-in. The session's connect
// time-out is lowered to 5 seconds for the request and put back after it;
// the body is read in pieces of at least 8 KiB, so a body that has not yet
// arrived when the answer's head does is still read whole.
#include "quarnel/internet_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "quarnel/zel_cstr.h"
#include "wininet/wininet.h"

namespace ObraCommon {

namespace {

constexpr uint32_t kPutBack = 16;
constexpr uint32_t kMinimumRead = 8192;
constexpr uint32_t kConnectTimeoutMs = 5000;
const char kUserAgent[] = "Verandor V3.9 R1 for Windows (3,9,2006,0901)";
const char kHeaders[] = "Accept:*/*\r\n\r\n";

UnicodeString ErrorText(const char* prefix, uint32_t error) {
  char text[96];
  std::snprintf(text, sizeof text, "%s%04X", prefix, static_cast<unsigned>(error));
  return UnicodeString(text, -1, US_INV);
}

}  // namespace

ZelInternetStreamBuf::ZelInternetStreamBuf(const UnicodeString& url) {
  ZelCStr narrow(url);
  open(narrow.getCString().c_str());
}

ZelInternetStreamBuf::ZelInternetStreamBuf(const char* url) {
  ZelCStr narrow(url);
  open(narrow.getCString().c_str());
}

ZelInternetStreamBuf::ZelInternetStreamBuf(const unsigned short* url) {
  ZelCStr narrow(reinterpret_cast<const char16_t*>(url));
  open(narrow.getCString().c_str());
}

ZelInternetStreamBuf::~ZelInternetStreamBuf() {
  delete[] m_buffer;
  if (m_request != nullptr) wininet::closeHandle(m_request);
  if (m_internet != nullptr) wininet::closeHandle(m_internet);
}

void ZelInternetStreamBuf::open(const char* url) {
  m_errorText.remove();
  uint32_t accessType = 0;
  if (!wininet::queryProxyAccessType(accessType)) accessType = 0;
  m_internet = wininet::openSession(kUserAgent, accessType);
  if (m_internet == nullptr) {
    m_errorText = ErrorText("Cannot access the Internet: ", wininet::lastError());
    return;
  }
  uint32_t oldTimeout = 0;
  bool lowered = wininet::queryOption(m_internet, wininet::kConnectTimeout, oldTimeout) &&
                 oldTimeout > kConnectTimeoutMs &&
                 wininet::setOption(m_internet, wininet::kConnectTimeout, kConnectTimeoutMs);
  m_request = wininet::openUrl(m_internet, url, kHeaders, 0x80000000u);
  if (m_request == nullptr) {
    m_errorText = ErrorText("Cannot open URL: ", wininet::lastError());
  } else {
    char status[100];
    uint32_t size = sizeof status;
    if (!wininet::queryInfo(m_request, wininet::kQueryStatusCode, status, size)) {
      m_errorText = ErrorText("Cannot get HTTP status: ", wininet::lastError());
    } else {
      m_status = std::atoi(status);
      if (m_status / 100 == 2) {
        uint32_t available = 0;
        if (!wininet::queryDataAvailable(m_request, available)) available = 0;
        m_bufferSize = std::max(available, kMinimumRead);
        m_buffer = new char[m_bufferSize + kPutBack];
        char type[256];
        size = sizeof type;
        if (wininet::queryInfo(m_request, wininet::kQueryContentType, type, size)) {
          m_mediaType = UnicodeString::fromUTF8(std::string(type, size));
          int32_t semicolon = m_mediaType.indexOf(u';');
          if (semicolon >= 0) {
            m_mediaType.truncate(semicolon);
            m_mediaType.trim();
          }
        }
      } else {
        m_errorText = UnicodeString(u"HTTP status is ").append(UnicodeString::fromUTF8(status));
      }
    }
  }
  if (lowered) wininet::setOption(m_internet, wininet::kConnectTimeout, oldTimeout);
  if (m_buffer != nullptr) setg(m_buffer, m_buffer, m_buffer);
}

ZelInternetStreamBuf::int_type ZelInternetStreamBuf::underflow() {
  if (m_buffer == nullptr) return traits_type::eof();
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const auto keep = static_cast<uint32_t>(std::min<std::ptrdiff_t>(gptr() - eback(), kPutBack));
  std::memmove(m_buffer, gptr() - keep, keep);
  uint32_t read = 0;
  if (!wininet::readFile(m_request, m_buffer + keep, m_bufferSize, read) || read == 0) {
    setg(m_buffer, m_buffer + keep, m_buffer + keep);
    return traits_type::eof();
  }
  setg(m_buffer, m_buffer + keep, m_buffer + keep + read);
  return traits_type::to_int_type(*gptr());
}

ZelInternetStream::ZelInternetStream(const UnicodeString& url) : std::istream(nullptr), m_buf(url) { init(&m_buf); }

ZelInternetStream::~ZelInternetStream() = default;

}  // namespace ObraCommon
