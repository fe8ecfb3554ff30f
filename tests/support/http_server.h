// A tiny HTTP server for the probes' tests, on 127.0.0.1 only, on a free port.
//
// Each request path picks a canned answer: "/ok", "/auth" (401), "/moved" (301),
// "/found" (302), "/other" (303), "/missing" (404 with a content type), "/bare404",
// "/lower" (200 without "OK", lower-case content type), "/continue" (100 then 200),
// "/big" (a megabyte of body), "/garbage" (no status line), "/close" (closes at once),
// "/hang" (never answers), "/slowbody" (headers, then no body). The server remembers
// how many requests it saw and the last request's header block.
#ifndef QEL_TESTS_SUPPORT_HTTP_SERVER_H_
#define QEL_TESTS_SUPPORT_HTTP_SERVER_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace qel::testing {

class HttpServer {
 public:
  HttpServer() {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listen_, 16);
    socklen_t len = sizeof addr;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (pipe2(stop_, O_CLOEXEC) != 0) stop_[0] = stop_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
  }
  ~HttpServer() {
    char b = 0;
    (void)!write(stop_[1], &b, 1);
    thread_.join();
    close(listen_);
    close(stop_[0]);
    close(stop_[1]);
  }
  HttpServer(HttpServer const&) = delete;
  HttpServer& operator=(HttpServer const&) = delete;

  std::string Url(std::string const& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int requests() const { return requests_; }
  std::string last_request() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_request_;
  }

 private:
  // Waits until fd is readable or the server stops; false when stopping.
  bool WaitReadable(int fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) <= 0) return false;
    return (fds[1].revents & POLLIN) == 0;
  }

  void Serve() {
    while (WaitReadable(listen_)) {
      int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      Answer(client);
      close(client);
    }
  }

  void Send(int fd, std::string const& text) {
    (void)!::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }

  void Answer(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      if (!WaitReadable(client)) return;
      ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    ++requests_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_request_ = request;
    }
    std::size_t start = request.find(' ') + 1;
    std::string path = request.substr(start, request.find(' ', start) - start);
    auto reply = [&](std::string const& head, std::string const& body) {
      Send(client, head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    if (path == "/ok") {
      reply("HTTP/1.1 200 OK\r\n", "done");
    } else if (path == "/auth") {
      reply(
          "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
          "Content-Type: text/plain\r\n",
          "OK?");
    } else if (path == "/moved" || path == "/found" || path == "/other") {
      char const* line = path == "/moved"   ? "301 Moved Permanently"
                         : path == "/found" ? "302 Found"
                                            : "303 See Other";
      reply(std::string("HTTP/1.1 ") + line + "\r\nLocation: /ok\r\nContent-Type: text/html\r\n",
            "OK");
    } else if (path == "/missing") {
      reply("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n", "<p>none</p>");
    } else if (path == "/bare404") {
      reply("HTTP/1.1 404 Not Found\r\n", "");
    } else if (path == "/lower") {
      reply("HTTP/1.1 200 Fine\r\ncontent-type: text/plain\r\n", "x");
    } else if (path == "/continue") {
      Send(client, "HTTP/1.1 100 Continue\r\n\r\n");
      reply("HTTP/1.1 200 OK\r\n", "x");
    } else if (path == "/big") {
      reply("HTTP/1.1 200 OK\r\n", std::string(1 << 20, 'b'));
    } else if (path == "/garbage") {
      Send(client, "GARBAGE HERE\r\n\r\nOK");
    } else if (path == "/hang") {
      WaitReadable(client);  // until the client gives up or the server stops
    } else if (path == "/slowbody") {
      Send(client, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
      WaitReadable(client);
    }
    // "/close" and anything else: close without a word.
  }

  int listen_ = -1;
  int stop_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::string last_request_;
  std::thread thread_;
};

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_HTTP_SERVER_H_
