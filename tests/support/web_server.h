// nginx for a test on two free ports of 127.0.0.1, HTTP and HTTPS with a test-made
// certificate (caFile()), serving one folder, run in a temporary folder (its prefix, for
// logs); stopped in the destructor. A path prefix makes a fault: /to-http/, /to-https/,
// /to-ftp/ redirect the rest there; /stall-N/ sends N bytes whatever range is asked for, then
// four a second; /cut-N/ announces the whole length, sends about N bytes and closes; /flaky/
// answers 500 the first time a path is asked for, /busy/ 429; /longer/ sends a .pak 64 MiB
// long without a length. /drip sends 20 bytes, one each quarter second.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/log_file.h"
#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class WebServer {
 public:
  explicit WebServer(std::filesystem::path root) : root_(std::move(root)) {
    if (std::system(("cd '" + dir_.path().string() + "' && openssl req -x509 -newkey ec -pkeyopt" +
                     " ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.pem" +
                     " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1")
                        .c_str()) != 0)
      throw std::runtime_error("WebServer: openssl cannot make the test certificate");
    // A port picked free may be taken before nginx binds it: try again with new ones.
    for (int attempt = 0; attempt < 3 && !nginx_; ++attempt) {
      ports_ = {probe(0), probe(0)};
      std::ofstream(dir_ / "nginx.conf")
          << "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
          << "daemon off; master_process off; user root; pid nginx.pid;\n"
          << "events { worker_connections 64; }\nhttp {\n"
          << "log_format lines '$request_method $uri $status $body_bytes_sent $http_range';\n"
          << "access_log access.log lines; default_type application/octet-stream;\n"
          << "client_body_temp_path body; proxy_temp_path proxy; fastcgi_temp_path fastcgi;\n"
          << "uwsgi_temp_path uwsgi; scgi_temp_path scgi; keepalive_requests 10000;\n"
          << httpBlock() << "}\n";
      nginx_ = std::make_unique<RunningProgram>(
          "/usr/sbin/nginx",
          std::vector<std::string>{"-p", dir_.path().string(), "-c", "nginx.conf", "-e",
                                   (dir_ / "error.log").string()});
      if (!eventually([&] { return probe(ports_[0]) && probe(ports_[1]); },
                      std::chrono::seconds(5)))
        nginx_.reset();
    }
    if (!nginx_) throw std::runtime_error("nginx does not start; " + readFile(dir_ / "error.log"));
  }

  std::string url(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(ports_[scheme == "https" ? 1 : 0]);
  }
  std::string caFile() const { return (dir_ / "server.pem").string(); }

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

  std::string httpBlock() const {
    const std::uint16_t httpPort = ports_[0], httpsPort = ports_[1];
    std::ostringstream conf;
    auto urlOf = [&](const char* scheme, std::uint16_t port) {
      return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    };
    std::string drip;  // unlike a rate limit's once a second, never a whole second without a byte
    for (int i = 0; i < 20; ++i) drip += " echo -n x; echo_flush; echo_sleep 0.25;";
    conf << "limit_req_zone $uri zone=once:1m rate=1r/m;\n";
    for (auto port : {httpPort, httpsPort}) {
      conf << "server { listen 127.0.0.1:" << port
           << (port == httpsPort ? " ssl; ssl_certificate " + caFile() + "; ssl_certificate_key " +
                                       (dir_ / "server.key").string() + ";\n"
                                 : std::string(";\n"))
           << "root " << root_.string() << ";\n";
      for (auto to :
           {urlOf("http", httpPort), urlOf("https", httpsPort), std::string("ftp://127.0.0.1")})
        conf << "location ~ ^/to-" << to.substr(0, to.find(':')) << "/(.*)$ { return 302 " << to
             << "/$1; }\n";
      // The first request for a path passes the limit and meets the 500 (or 429); the next
      // ones are turned away by it, to the file.
      for (auto [prefix, status] : {std::pair{"flaky", "500"}, {"busy", "429"}})
        conf << "location /" << prefix << "/ { limit_req zone=once; limit_req_status 409;"
             << " error_page 409 = @whole; try_files /nothing =" << status << "; }\n";
      conf << "location @whole { rewrite ^/[a-z]+(/.*)$ $1 break; }\n"
           << "location /forbidden/ { return 403; }\n"
           << "location = /drip {" << drip << " }\n"
           << "location ~ ^/trickle(/.*)$ { alias " << root_.string() << "$1; limit_rate 150; }\n"
           << "location ~ ^/stall-(\\d+)(/.*)$ { alias " << root_.string()
           << "$2; limit_rate_after $1; limit_rate 4; max_ranges 0; }\n"
           // The trickle's pauses run out the proxy's patience, which closes the connection.
           << "location ~ ^/cut-(\\d+)(/.*)$ { proxy_pass " << urlOf("http", httpPort)
           << "/stall-$1$2; proxy_buffering off; proxy_read_timeout 150ms; }\n"
           << "location ~ ^/longer/.+\\.pak$ { echo_duplicate 1048576 " << std::string(64, 'x')
           << "; }\nlocation /longer/ { rewrite ^/longer(/.*)$ $1 break; }\n}\n";
    }
    return conf.str();
  }

  std::filesystem::path root_;
  TempDir dir_;
  std::vector<std::uint16_t> ports_;
  std::unique_ptr<RunningProgram> nginx_;
};

}  // namespace kaldra::testing
