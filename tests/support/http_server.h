// A small HTTP/1.1 file server on 127.0.0.1 for tests, one request a connection and no
// ranges, that can misbehave for one file in ways nginx never does. It ignores SIGPIPE for
// the whole process: a client that hangs up must not end it.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kaldra::testing {

class HttpServer {
 public:
  struct Fault {
    enum class Kind {
      none,
      cut,        // the whole length announced, the body stopped at `at` and closed
      stall,      // the body stopped at `at`, then four bytes a second
      status500,  // "500 Internal Server Error"
      longer,     // no length announced, the file and then 64 MiB more
    };
    Kind kind = Kind::none;
    std::string target;  // the request path it spoils
    double at = 0.5;
    int times = -1;  // how many answers it spoils; -1: every one
  };

  explicit HttpServer(std::filesystem::path root) : root_(std::move(root)) {
    std::signal(SIGPIPE, SIG_IGN);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listener_, any, length) != 0 || ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, any, &length) != 0) {
      ::close(listener_);
      throw std::runtime_error("HttpServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (int fd = 0; !stopping_;)
        if ((fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0)
          workers_.emplace_back([this, fd] { serve(fd); });
    });
  }

  ~HttpServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept
    acceptor_.join();
    for (auto& worker : workers_) worker.join();
    ::close(listener_);
  }

  std::uint16_t port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  void setFault(Fault fault) {
    std::lock_guard lock(mutex_);
    fault_ = std::move(fault);
  }

 private:
  void serve(int fd) {
    timeval limit{.tv_sec = 5, .tv_usec = 0};  // a client gone quiet holds up no destructor
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string head, method, target;
    char chunk[4096];
    for (ssize_t n = 0; head.find("\r\n\r\n") == std::string::npos &&
                        (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
      head.append(chunk, static_cast<std::size_t>(n));
    std::istringstream(head) >> method >> target;
    respond(fd, target);
    ::close(fd);
  }

  // Answers "GET /path" with the file from the folder, spoilt when the fault is for that path.
  void respond(int fd, const std::string& target) {
    auto file = root_ / target.substr(target.empty() ? 0 : 1);
    if (target.find("..") != std::string::npos || !std::filesystem::is_regular_file(file))
      return;  // not served: closed unanswered
    std::ostringstream read;
    read << std::ifstream(file, std::ios::binary).rdbuf();
    const std::string body = read.str();
    Fault fault = faultFor(target);
    auto part = fault.kind == Fault::Kind::none
                    ? body.size()
                    : static_cast<std::size_t>(static_cast<double>(body.size()) * fault.at);
    if (fault.kind == Fault::Kind::status500) {
      sendAll(fd, head("500 Internal Server Error", 0));
    } else if (fault.kind == Fault::Kind::longer) {
      const std::string more(1 << 20, 'x');
      bool open = sendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body);
      for (int i = 0; i < 64 && open; ++i) open = sendAll(fd, more);
    } else if (sendAll(fd, head("200 OK", body.size()) + body.substr(0, part)) &&
               fault.kind == Fault::Kind::stall) {
      // A trickle of a few bytes a second is as good as silence.
      while (part + 1 < body.size() && !stopping_ && sendAll(fd, body.substr(part++, 1)))
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }

  Fault faultFor(const std::string& target) {
    std::lock_guard lock(mutex_);
    if (fault_.target != target || fault_.times == 0) return {};
    if (fault_.times > 0) --fault_.times;
    return fault_;
  }

  static std::string head(const std::string& status, std::size_t length) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
  }

  static bool sendAll(int fd, std::string_view rest) {
    for (ssize_t n = 0; !rest.empty(); rest.remove_prefix(static_cast<std::size_t>(n)))
      if ((n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL)) <= 0) return false;
    return true;
  }

  std::filesystem::path root_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  Fault fault_;
};

}  // namespace kaldra::testing
