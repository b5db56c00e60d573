// Stand-in for the Windows Internet functions the library reads remote
// resources through, over libcurl: a session with its options, a URL
// request whose status and content type can be asked, and its body read in
// pieces. Failures answer false or null and leave a WinINet error number
// for lastError() on the calling thread.
#pragma once

#include <cstdint>

namespace wininet {

using Handle = void*;

// Error numbers as WinINet gives them.
enum Error : uint32_t {
  kTimeout = 12002,
  kInternalError = 12004,
  kInvalidUrl = 12005,
  kUnrecognizedScheme = 12006,
  kNameNotResolved = 12007,
  kIncorrectHandleType = 12018,
  kCannotConnect = 12029,
  kConnectionAborted = 12030,
  kConnectionReset = 12031,
  kHeaderNotFound = 12150,
  kInsufficientBuffer = 122,
  kInvalidParameter = 87,
};

enum Option : uint32_t {
  kConnectTimeout = 2,
  kReceiveTimeout = 6,
  kProxy = 38,
};

enum Query : uint32_t {
  kQueryContentType = 1,
  kQueryStatusCode = 19,
};

// The access type the system's proxy settings give: 0, proxies come from
// http_proxy, https_proxy and no_proxy.
bool queryProxyAccessType(uint32_t& accessType);

// A session. The connect time-out starts at 60,000 ms, the receive
// time-out (nothing received for that long) at 30,000 ms.
Handle openSession(const char* userAgent, uint32_t accessType);
bool queryOption(Handle session, Option option, uint32_t& value);
bool setOption(Handle session, Option option, uint32_t value);

// Opens an http or https URL and waits for the final response's head.
// headers are "\r\n"-separated lines; up to 10 redirects are followed.
Handle openUrl(Handle session, const char* url, const char* headers, uint32_t flags);
// The status code or content type as text; false with kInsufficientBuffer
// when it does not fit size bytes with its terminator.
bool queryInfo(Handle request, Query query, char* buffer, uint32_t& size);
// Bytes that can be read now without waiting.
bool queryDataAvailable(Handle request, uint32_t& available);
// Waits for at least one byte unless the body has ended; read 0 is its end.
bool readFile(Handle request, void* buffer, uint32_t size, uint32_t& read);
bool closeHandle(Handle handle);

uint32_t lastError();

// For tests, which cannot reach a session a caller opens and closes inside
// itself: the time-outs new sessions start with, the connect time-out the
// calling thread's last openUrl used, and the one its last closed session
// held then.
void setSessionDefaults(uint32_t connectTimeoutMs, uint32_t receiveTimeoutMs);
uint32_t lastRequestConnectTimeout();
uint32_t lastClosedSessionConnectTimeout();

// For tests: the next request opens libcurl anew under this file name
// (normally "libcurl.so.4"); one already open stays loaded.
void useCurlLibrary(const char* soname);

}  // namespace wininet
