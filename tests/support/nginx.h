// nginx on free loopback ports with the test's configuration, in a temporary folder (its
// prefix, for logs and caches); stopped in the destructor.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/log_file.h"
#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class Nginx {
 public:
  // `http` gives the http block's content for the ports chosen; `main`, lines before it.
  using HttpBlock = std::function<std::string(const std::vector<std::uint16_t>& ports)>;

  Nginx(std::size_t ports, const HttpBlock& http, const std::string& main = "") {
    // A port picked free may be taken before nginx binds it: try again with new ones.
    for (int attempt = 0; attempt < 3 && !program_; ++attempt) {
      ports_.clear();
      for (std::size_t i = 0; i < ports; ++i) ports_.push_back(probe(0));
      std::ofstream(dir_ / "nginx.conf")
          << main << "daemon off; master_process off; user root; pid nginx.pid;\n"
          << "events { worker_connections 64; }\nhttp {\n"
          << "log_format lines '$request_method $uri $status $body_bytes_sent $http_range';\n"
          << "access_log access.log lines; default_type application/octet-stream;\n"
          << "client_body_temp_path body; proxy_temp_path proxy; fastcgi_temp_path fastcgi;\n"
          << "uwsgi_temp_path uwsgi; scgi_temp_path scgi; keepalive_requests 10000;\n"
          << http(ports_) << "}\n";
      program_ = std::make_unique<RunningProgram>(
          "/usr/sbin/nginx",
          std::vector<std::string>{"-p", dir_.path().string(), "-c", "nginx.conf", "-e",
                                   (dir_ / "error.log").string()});
      if (!eventually(
              [&] {
                for (auto port : ports_)
                  if (!probe(port)) return false;
                return true;
              },
              std::chrono::seconds(5)))
        program_.reset();
    }
    if (!program_)
      throw std::runtime_error("nginx does not start; " + readFile(dir_ / "error.log"));
  }

  std::uint16_t port(std::size_t i) const { return ports_.at(i); }
  const TempDir& dir() const { return dir_; }

  // The access log so far, one request a line: "GET /path STATUS BODY_BYTES RANGE".
  std::string requests() const { return readFile(dir_ / "access.log"); }

 private:
  // With `port` 0 a port free now, else `port` when it takes connections (0 when not).
  static std::uint16_t probe(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{
        .sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    bool ok = port != 0 ? ::connect(fd, any, length) == 0
                        : ::bind(fd, any, length) == 0 && ::getsockname(fd, any, &length) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
  }

  TempDir dir_;
  std::vector<std::uint16_t> ports_;
  std::unique_ptr<RunningProgram> program_;
};

}  // namespace kaldra::testing
