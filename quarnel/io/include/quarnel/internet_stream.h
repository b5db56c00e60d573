// The reader of remote (http, https) resources: a forward-only stream
// buffer that opens the URL at construction, checks the HTTP status,
// remembers the media type and keeps an error text instead of throwing.
#pragma once

#include <cstdint>
#include <istream>
#include <streambuf>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelInternetStreamBuf : public std::streambuf {
 public:
  explicit ZelInternetStreamBuf(const UnicodeString& url);
  explicit ZelInternetStreamBuf(const char* url);
  explicit ZelInternetStreamBuf(const unsigned short* url);
  ZelInternetStreamBuf(const ZelInternetStreamBuf&) = delete;
  ZelInternetStreamBuf& operator=(const ZelInternetStreamBuf&) = delete;
  ~ZelInternetStreamBuf() override;

  // A 2xx answer was received.
  bool isOpen() const { return m_buffer != nullptr; }
  const UnicodeString& getMediaType() const { return m_mediaType; }
  const UnicodeString& getErrorText() const { return m_errorText; }

 protected:
  int_type underflow() override;

 private:
  void open(const char* url);
  char* m_buffer = nullptr;
  int32_t m_status = 0;
  UnicodeString m_mediaType;
  UnicodeString m_errorText;
  void* m_internet = nullptr;
  void* m_request = nullptr;
  uint32_t m_bufferSize = 0;
};

class QUARNEL_API ZelInternetStream : public std::istream {
 public:
  explicit ZelInternetStream(const UnicodeString& url);
  ZelInternetStream(const ZelInternetStream&) = delete;
  ZelInternetStream& operator=(const ZelInternetStream&) = delete;
  ~ZelInternetStream() override;
  ZelInternetStreamBuf* rdbuf() const { return const_cast<ZelInternetStreamBuf*>(&m_buf); }

 private:
  ZelInternetStreamBuf m_buf;
};

}  // namespace ObraCommon
