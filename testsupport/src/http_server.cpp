#include "testsupport/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace testsupport {

namespace {

bool SendAll(int socket, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Waits for the socket to become readable, in short steps so that the
// server can stop; false when it did not or stop was asked.
bool WaitReadable(int socket, int ms, const std::atomic<bool>& stop) {
  for (int waited = 0; waited < ms && !stop; waited += 50) {
    pollfd p{socket, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) return true;
  }
  return false;
}

}  // namespace

HttpServer::HttpServer() {
  m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 8) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { run(); });
}

HttpServer::~HttpServer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_listener >= 0) ::close(m_listener);
}

void HttpServer::answer(const std::string& path, const HttpAnswer& answer) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_answers[path] = answer;
}

std::string HttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> HttpServer::requests() const {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_requests;
}

void HttpServer::run() {
  while (!m_stop) {
    if (!WaitReadable(m_listener, 50, m_stop)) continue;
    int client = ::accept(m_listener, nullptr, nullptr);
    if (client < 0) continue;
    serve(client);
    ::close(client);
  }
}

void HttpServer::serve(int client) {
  for (;;) {
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
      if (!WaitReadable(client, 5000, m_stop)) return;
      char buffer[4096];
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      head.append(buffer, static_cast<size_t>(n));
    }
    head.resize(head.find("\r\n\r\n") + 4);
    std::string target;
    size_t first = head.find(' ');
    if (first != std::string::npos) target = head.substr(first + 1, head.find(' ', first + 1) - first - 1);
    size_t scheme = target.find("://");
    if (scheme != std::string::npos) {
      size_t slash = target.find('/', scheme + 3);
      target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    HttpAnswer answer{"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain", "missing"};
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_requests.push_back(head);
      auto found = m_answers.find(target);
      if (found != m_answers.end()) answer = found->second;
    }
    std::string out = answer.head + "\r\n";
    if (answer.chunked) out += "Transfer-Encoding: chunked\r\n";
    else if (answer.stallMs == 0) out += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    out += "\r\n";
    if (!SendAll(client, out)) return;
    if (answer.stallMs > 0) {
      for (int waited = 0; waited < answer.stallMs && !m_stop; waited += 50) ::usleep(50 * 1000);
      return;
    }
    for (int waited = 0; waited < answer.pauseMs && !m_stop; waited += 50) ::usleep(50 * 1000);
    if (answer.chunked) {
      for (size_t at = 0; at < answer.body.size(); at += 4000) {
        std::string piece = answer.body.substr(at, 4000);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        if (!SendAll(client, size + piece + "\r\n")) return;
      }
      if (!SendAll(client, "0\r\n\r\n")) return;
    } else if (!SendAll(client, answer.body)) {
      return;
    }
  }
}

}  // namespace testsupport
