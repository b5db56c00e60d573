// A loopback HTTP/1.1 server for tests that must not reach the network: a
// thread on 127.0.0.1 (port chosen by the system) that answers each request
// with the canned answer of its path, one connection at a time, and keeps
// every request head it received.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpAnswer {
  std::string head;     // status line and header lines, without the blank line
  std::string body;
  bool chunked = false;  // the body in chunks of 4,000 bytes
  int pauseMs = 0;       // after the head, before the body
  int stallMs = 0;       // after the head, send nothing for this long and close
};

class HttpServer {
 public:
  HttpServer();
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Requests for path (the part of the target from the first "/" after any
  // scheme and host) get this answer; others get 404.
  void answer(const std::string& path, const HttpAnswer& answer);
  uint16_t port() const { return m_port; }
  std::string url(const std::string& path) const;
  std::vector<std::string> requests() const;

 private:
  void run();
  void serve(int client);
  int m_listener = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::map<std::string, HttpAnswer> m_answers;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

}  // namespace testsupport
