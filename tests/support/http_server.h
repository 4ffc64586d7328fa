// A small keep-alive HTTP/1.1 file server on 127.0.0.1 without ranges, for tests and
// benchmarks, that can misbehave for one file in ways nginx never does. It ignores SIGPIPE
// for the whole process: a client that hangs up must not end it.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kaldra::testing {

class HttpServer {
 public:
  explicit HttpServer(std::filesystem::path root) : root_(std::move(root)) {
    std::signal(SIGPIPE, SIG_IGN);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
      closeAll();
      throw std::runtime_error("HttpServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~HttpServer() {
    stopping_ = true;
    (void)!::write(wake_[1], "x", 1);
    acceptor_.join();
    {
      std::lock_guard lock(mutex_);
      for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& worker : workers_) worker.join();
    closeAll();
  }

  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  struct Fault {
    enum class Kind {
      none,
      cut,        // the whole length announced, the body stopped at `at` and closed
      stall,      // the body stopped at `at`, then four bytes a second
      status500,  // "500 Internal Server Error"
      longer,     // no length announced, the file and then bytes without end (64 MiB)
    };
    Kind kind = Kind::none;
    std::string target;  // the request path it spoils
    double at = 0.5;
    int times = -1;  // how many answers it spoils; -1: every one
  };
  void setFault(Fault fault) {
    std::lock_guard lock(mutex_);
    fault_ = std::move(fault);
  }

  // Every request line so far, e.g. "GET /data/a.pak HTTP/1.1".
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static constexpr std::size_t kMaxHeader = 64 * 1024;

  void acceptLoop() {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    while (!stopping_) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard lock(mutex_);
      open_.insert(fd);
      workers_.emplace_back([this, fd] { serve(fd); });
    }
  }

  void serve(int fd) {
    std::string buffer;
    while (true) {
      auto end = buffer.find("\r\n\r\n");
      while (end == std::string::npos && buffer.size() < kMaxHeader) {
        char chunk[4096];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(n));
        end = buffer.find("\r\n\r\n");
      }
      if (end == std::string::npos) break;
      std::string head = buffer.substr(0, end);
      buffer.erase(0, end + 4);
      if (!respond(fd, head)) break;
    }
    std::lock_guard lock(mutex_);
    open_.erase(fd);
    ::close(fd);
  }

  // Answers one request; false when the connection is to be closed.
  bool respond(int fd, const std::string& head) {
    std::string line = head.substr(0, head.find("\r\n"));
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(line);
    }
    auto firstSpace = line.find(' ');
    auto secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos) return false;
    std::string method = line.substr(0, firstSpace);
    std::string target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    auto path = target.substr(1);
    for (const auto& part : std::filesystem::path(path))
      if (part == ".." || !target.starts_with('/')) path.clear();
    int file = path.empty() ? -1 : ::open((root_ / path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
      if (file >= 0) ::close(file);
      return sendHead(fd, "404 Not Found", 0);
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (auto fault = faultFor("/" + path); fault != Fault::Kind::none) {
      bool again = misbehave(fd, file, size, fault);
      ::close(file);
      return again;
    }
    bool ok = sendHead(fd, "200 OK", size);
    off_t offset = 0;
    while (ok && method == "GET" && static_cast<std::uint64_t>(offset) < size) {
      ssize_t n = ::sendfile(fd, file, &offset, size - static_cast<std::uint64_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
    }
    ::close(file);
    return ok;
  }

  Fault::Kind faultFor(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (fault_.kind == Fault::Kind::none || fault_.target != path || fault_.times == 0)
      return Fault::Kind::none;
    if (fault_.times > 0) --fault_.times;
    return fault_.kind;
  }

  // Answers with `fault`; whether the connection goes on.
  bool misbehave(int fd, int file, std::uint64_t size, Fault::Kind fault) {
    double at;
    {
      std::lock_guard lock(mutex_);
      at = fault_.at;
    }
    auto part = static_cast<std::uint64_t>(static_cast<double>(size) * at);
    std::string body(size, '\0');
    if (::pread(file, body.data(), size, 0) != static_cast<ssize_t>(size)) return false;
    switch (fault) {
      case Fault::Kind::none:
      case Fault::Kind::cut:
        if (sendHead(fd, "200 OK", size)) sendAll(fd, std::string_view(body).substr(0, part));
        return false;
      case Fault::Kind::stall:
        // A trickle of a few bytes a second is as good as silence.
        if (!sendHead(fd, "200 OK", size) || !sendAll(fd, std::string_view(body).substr(0, part)))
          return false;
        while (++part < size && !waitForStop(std::chrono::milliseconds(250)) &&
               sendAll(fd, std::string_view(body).substr(part - 1, 1))) {
        }
        return false;
      case Fault::Kind::status500:
        return sendHead(fd, "500 Internal Server Error", 0);
      case Fault::Kind::longer: {
        std::string head =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: "
            "application/octet-stream\r\n\r\n";
        if (!sendAll(fd, head) || !sendAll(fd, body)) return false;
        std::string more(1 << 20, 'x');
        for (int i = 0; i < 64 && sendAll(fd, more); ++i) {
        }
        return false;
      }
    }
    return false;
  }

  // Waits up to `limit` for the server to stop; whether it did.
  bool waitForStop(std::chrono::milliseconds limit) {
    pollfd wake{wake_[0], POLLIN, 0};
    return ::poll(&wake, 1, static_cast<int>(limit.count())) > 0;
  }

  static bool sendHead(int fd, const std::string& status, std::uint64_t length) {
    return sendAll(fd, "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) +
                           "\r\nContent-Type: application/octet-stream\r\n\r\n");
  }

  static bool sendAll(int fd, std::string_view rest) {
    while (!rest.empty()) {
      ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  void closeAll() {
    if (listener_ >= 0) ::close(listener_);
    for (int fd : wake_) {
      if (fd >= 0) ::close(fd);
    }
    listener_ = wake_[0] = wake_[1] = -1;
  }

  std::filesystem::path root_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::set<int> open_;
  std::vector<std::thread> workers_;
  std::vector<std::string> requests_;
  Fault fault_;
};

}  // namespace kaldra::testing
