// The body of a request streams through libcurl's multi interface in the
// calling thread: each wait drives the transfer until what the caller
// needs has arrived, into a bounded buffer; the transfer pauses while the
// buffer is full and goes on when the caller has taken bytes.
//
// libcurl is opened on the first request instead of being linked: it
// brings some thirty libraries (TLS, Kerberos, LDAP, ...) whose mapping and
// relocation cost every process that loads the library several times what
// it spends detecting or extracting a local file, and most never ask for a
// remote resource.
#include "wininet/wininet.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <forward_list>
#include <mutex>
#include <string>

namespace wininet {

namespace {

thread_local uint32_t t_lastError = 0;
thread_local uint32_t t_requestConnectTimeout = 0;
thread_local uint32_t t_closedConnectTimeout = 0;
std::atomic<uint32_t> g_connectTimeout{60000};
std::atomic<uint32_t> g_receiveTimeout{30000};

constexpr size_t kBufferCap = 256 * 1024;

// The libcurl functions the requests call, resolved from the loaded library.
struct CurlApi {
  decltype(&::curl_global_init) globalInit;
  decltype(&::curl_easy_init) easyInit;
  decltype(&::curl_easy_setopt) easySetopt;
  decltype(&::curl_easy_pause) easyPause;
  decltype(&::curl_easy_cleanup) easyCleanup;
  decltype(&::curl_multi_init) multiInit;
  decltype(&::curl_multi_add_handle) multiAddHandle;
  decltype(&::curl_multi_remove_handle) multiRemoveHandle;
  decltype(&::curl_multi_perform) multiPerform;
  decltype(&::curl_multi_info_read) multiInfoRead;
  decltype(&::curl_multi_poll) multiPoll;
  decltype(&::curl_multi_cleanup) multiCleanup;
  decltype(&::curl_slist_append) slistAppend;
  decltype(&::curl_slist_free_all) slistFreeAll;
};

std::mutex g_curlMutex;
std::string g_curlName = "libcurl.so.4";
bool g_curlTried = false;
const CurlApi* g_curl = nullptr;

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// The first call opens the library; a failure is told once on stderr and
// every request then fails as one to an unreachable host. Tables are kept
// for the life of the process: requests in flight keep pointing at theirs
// when a test opens the library anew.
const CurlApi* Curl() {
  std::lock_guard<std::mutex> lock(g_curlMutex);
  if (g_curlTried) return g_curl;
  g_curlTried = true;
  void* library = dlopen(g_curlName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    std::fprintf(stderr, "wininet: remote requests are unavailable: %s\n", why != nullptr ? why : g_curlName.c_str());
    return nullptr;
  }
  static auto* loaded = new std::forward_list<CurlApi>;
  CurlApi* api = &loaded->emplace_front();
  bool resolved = Resolve(library, "curl_global_init", api->globalInit) &&
                  Resolve(library, "curl_easy_init", api->easyInit) &&
                  Resolve(library, "curl_easy_setopt", api->easySetopt) &&
                  Resolve(library, "curl_easy_pause", api->easyPause) &&
                  Resolve(library, "curl_easy_cleanup", api->easyCleanup) &&
                  Resolve(library, "curl_multi_init", api->multiInit) &&
                  Resolve(library, "curl_multi_add_handle", api->multiAddHandle) &&
                  Resolve(library, "curl_multi_remove_handle", api->multiRemoveHandle) &&
                  Resolve(library, "curl_multi_perform", api->multiPerform) &&
                  Resolve(library, "curl_multi_info_read", api->multiInfoRead) &&
                  Resolve(library, "curl_multi_poll", api->multiPoll) &&
                  Resolve(library, "curl_multi_cleanup", api->multiCleanup) &&
                  Resolve(library, "curl_slist_append", api->slistAppend) &&
                  Resolve(library, "curl_slist_free_all", api->slistFreeAll);
  if (!resolved) {
    std::fprintf(stderr, "wininet: remote requests are unavailable: %s lacks a libcurl function\n",
                 g_curlName.c_str());
    loaded->pop_front();
    dlclose(library);
    return nullptr;
  }
  if (api->globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    std::fprintf(stderr, "wininet: remote requests are unavailable: libcurl did not start\n");
    loaded->pop_front();
    return nullptr;
  }
  g_curl = api;
  return g_curl;
}

struct Session {
  uint32_t magic = 0x53455353;
  std::string userAgent;
  uint32_t connectTimeout = 0;
  uint32_t receiveTimeout = 0;
};

struct Request {
  uint32_t magic = 0x52455155;
  const CurlApi* curl = nullptr;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  std::string body;  // arrived, not yet read
  bool paused = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  bool headComplete = false;
  bool location = false;  // the response being read has a Location header
  long status = 0;
  std::string statusText;
  std::string contentType;
  bool hasContentType = false;
};

bool Fail(uint32_t error) {
  t_lastError = error;
  return false;
}

uint32_t ErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return kTimeout;
    case CURLE_URL_MALFORMAT: return kInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL: return kUnrecognizedScheme;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kCannotConnect;
    case CURLE_ABORTED_BY_CALLBACK: return kConnectionAborted;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING: return kConnectionReset;
    default: return kInternalError;
  }
}

std::string Trimmed(std::string text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t length = std::strlen(prefix);
  return text.size() >= length && strncasecmp(text.c_str(), prefix, length) == 0;
}

// Every header line of every response passes here, redirects and interim
// answers included; the head is complete at the blank line of a response
// that is neither interim nor about to be followed.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* request = static_cast<Request*>(user);
  std::string line(data, size * count);
  if (StartsWithNoCase(line, "HTTP/")) {
    request->location = false;
    request->hasContentType = false;
    request->contentType.clear();
    size_t space = line.find(' ');
    request->statusText = space == std::string::npos ? std::string() : Trimmed(line.substr(space + 1, 4));
    request->status = std::strtol(request->statusText.c_str(), nullptr, 10);
    request->statusText = std::to_string(request->status);
  } else if (StartsWithNoCase(line, "location:")) {
    request->location = true;
  } else if (StartsWithNoCase(line, "content-type:")) {
    request->contentType = Trimmed(line.substr(13));
    request->hasContentType = true;
  } else if (Trimmed(line).empty()) {
    bool interim = request->status / 100 == 1;
    bool followed = request->status / 100 == 3 && request->location;
    if (!interim && !followed) request->headComplete = true;
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* request = static_cast<Request*>(user);
  size_t length = size * count;
  if (!request->body.empty() && request->body.size() + length > kBufferCap) {
    request->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  request->body.append(data, length);
  return length;
}

// One round of the transfer; waits up to waitMs for the sockets.
void Drive(Request& request, int waitMs) {
  if (request.done) return;
  if (request.paused && request.body.size() < kBufferCap) {
    request.paused = false;
    request.curl->easyPause(request.easy, CURLPAUSE_CONT);
  }
  int running = 0;
  request.curl->multiPerform(request.multi, &running);
  int left = 0;
  while (CURLMsg* message = request.curl->multiInfoRead(request.multi, &left)) {
    if (message->msg == CURLMSG_DONE) {
      request.done = true;
      request.result = message->data.result;
    }
  }
  if (!request.done && running > 0 && !request.paused) request.curl->multiPoll(request.multi, nullptr, 0, waitMs, nullptr);
}

Request* AsRequest(Handle handle) {
  auto* request = static_cast<Request*>(handle);
  return request != nullptr && request->magic == 0x52455155 ? request : nullptr;
}

Session* AsSession(Handle handle) {
  auto* session = static_cast<Session*>(handle);
  return session != nullptr && session->magic == 0x53455353 ? session : nullptr;
}

void Destroy(Request* request) {
  const CurlApi& curl = *request->curl;
  if (request->multi != nullptr && request->easy != nullptr) curl.multiRemoveHandle(request->multi, request->easy);
  if (request->easy != nullptr) curl.easyCleanup(request->easy);
  if (request->multi != nullptr) curl.multiCleanup(request->multi);
  curl.slistFreeAll(request->headers);
  request->magic = 0;
  delete request;
}

}  // namespace

bool queryProxyAccessType(uint32_t& accessType) {
  accessType = 0;
  return true;
}

Handle openSession(const char* userAgent, uint32_t) {
  auto* session = new Session;
  session->connectTimeout = g_connectTimeout;
  session->receiveTimeout = g_receiveTimeout;
  session->userAgent = userAgent != nullptr ? userAgent : "";
  return session;
}

bool queryOption(Handle handle, Option option, uint32_t& value) {
  Session* session = AsSession(handle);
  if (session == nullptr) return Fail(kIncorrectHandleType);
  if (option == kConnectTimeout) value = session->connectTimeout;
  else if (option == kReceiveTimeout) value = session->receiveTimeout;
  else return Fail(kInvalidParameter);
  return true;
}

bool setOption(Handle handle, Option option, uint32_t value) {
  Session* session = AsSession(handle);
  if (session == nullptr) return Fail(kIncorrectHandleType);
  if (option == kConnectTimeout) session->connectTimeout = value;
  else if (option == kReceiveTimeout) session->receiveTimeout = value;
  else return Fail(kInvalidParameter);
  return true;
}

Handle openUrl(Handle handle, const char* url, const char* headers, uint32_t) {
  Session* session = AsSession(handle);
  if (session == nullptr) return Fail(kIncorrectHandleType), nullptr;
  if (url == nullptr) return Fail(kInvalidUrl), nullptr;
  std::string text = url;
  if (!StartsWithNoCase(text, "http://") && !StartsWithNoCase(text, "https://"))
    return Fail(text.find(':') == std::string::npos ? kInvalidUrl : kUnrecognizedScheme), nullptr;
  const CurlApi* curl = Curl();
  if (curl == nullptr) return Fail(kCannotConnect), nullptr;
  auto* request = new Request;
  request->curl = curl;
  request->easy = curl->easyInit();
  request->multi = curl->multiInit();
  if (request->easy == nullptr || request->multi == nullptr) return Destroy(request), Fail(kInternalError), nullptr;
  std::string lines = headers != nullptr ? headers : "";
  for (size_t start = 0; start < lines.size();) {
    size_t end = lines.find("\r\n", start);
    if (end == std::string::npos) end = lines.size();
    if (end > start) request->headers = curl->slistAppend(request->headers, lines.substr(start, end - start).c_str());
    start = end + 2;
  }
  CURL* easy = request->easy;
  auto setopt = curl->easySetopt;
  setopt(easy, CURLOPT_URL, url);
  setopt(easy, CURLOPT_USERAGENT, session->userAgent.c_str());
  setopt(easy, CURLOPT_HTTPHEADER, request->headers);
  setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  setopt(easy, CURLOPT_MAXREDIRS, 10L);
  setopt(easy, CURLOPT_NOSIGNAL, 1L);
  setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session->connectTimeout));
  t_requestConnectTimeout = session->connectTimeout;
  setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<uint32_t>(1, session->receiveTimeout / 1000)));
  setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  setopt(easy, CURLOPT_HEADERDATA, request);
  setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  setopt(easy, CURLOPT_WRITEDATA, request);
  curl->multiAddHandle(request->multi, easy);
  while (!request->headComplete && !request->done) Drive(*request, 100);
  if (!request->headComplete) {
    uint32_t error = ErrorOf(request->result);
    Destroy(request);
    return Fail(error), nullptr;
  }
  return request;
}

bool queryInfo(Handle handle, Query query, char* buffer, uint32_t& size) {
  Request* request = AsRequest(handle);
  if (request == nullptr) return Fail(kIncorrectHandleType);
  std::string value;
  if (query == kQueryStatusCode) value = request->statusText;
  else if (query == kQueryContentType && request->hasContentType) value = request->contentType;
  else return Fail(kHeaderNotFound);
  if (buffer == nullptr || value.size() + 1 > size) {
    size = static_cast<uint32_t>(value.size() + 1);
    return Fail(kInsufficientBuffer);
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  size = static_cast<uint32_t>(value.size());
  return true;
}

bool queryDataAvailable(Handle handle, uint32_t& available) {
  Request* request = AsRequest(handle);
  if (request == nullptr) return Fail(kIncorrectHandleType);
  if (request->body.empty()) Drive(*request, 0);
  available = static_cast<uint32_t>(std::min<size_t>(request->body.size(), UINT32_MAX));
  return true;
}

bool readFile(Handle handle, void* buffer, uint32_t size, uint32_t& read) {
  read = 0;
  Request* request = AsRequest(handle);
  if (request == nullptr) return Fail(kIncorrectHandleType);
  if (size == 0) return true;
  while (request->body.empty() && !request->done) Drive(*request, 100);
  if (request->body.empty() && request->result != CURLE_OK) return Fail(ErrorOf(request->result));
  read = static_cast<uint32_t>(std::min<size_t>(size, request->body.size()));
  std::memcpy(buffer, request->body.data(), read);
  request->body.erase(0, read);
  return true;
}

bool closeHandle(Handle handle) {
  if (Request* request = AsRequest(handle)) {
    Destroy(request);
    return true;
  }
  if (Session* session = AsSession(handle)) {
    t_closedConnectTimeout = session->connectTimeout;
    session->magic = 0;
    delete session;
    return true;
  }
  return Fail(kIncorrectHandleType);
}

uint32_t lastError() { return t_lastError; }

void setSessionDefaults(uint32_t connectTimeoutMs, uint32_t receiveTimeoutMs) {
  g_connectTimeout = connectTimeoutMs;
  g_receiveTimeout = receiveTimeoutMs;
}

uint32_t lastRequestConnectTimeout() { return t_requestConnectTimeout; }

uint32_t lastClosedSessionConnectTimeout() { return t_closedConnectTimeout; }

void useCurlLibrary(const char* soname) {
  std::lock_guard<std::mutex> lock(g_curlMutex);
  g_curlName = soname;
  g_curlTried = false;
  g_curl = nullptr;
}

}  // namespace wininet
