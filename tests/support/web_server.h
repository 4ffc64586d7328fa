// nginx for a test on two free ports of 127.0.0.1, HTTP and HTTPS with a test-made
// certificate (caFile()), serving one folder; stopped in the destructor. A path prefix makes
// a fault: /to-http/, /to-https/, /to-ftp/ redirect the rest there; /stall-N/ sends N bytes
// whatever range is asked for, then four a second; /cut-N/ announces the whole length, sends
// about N bytes and closes; /flaky/ answers 500 the first time a path is asked for, /busy/ 429;
// /longer/ sends a .pak 64 MiB long without a length. /drip sends 20 bytes, one each quarter
// second.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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
    for (int attempt = 0; attempt < 3 && !program_; ++attempt) {
      httpPort_ = probe(0);
      httpsPort_ = probe(0);
      writeConfig();
      program_ = std::make_unique<RunningProgram>(
          "/usr/sbin/nginx",
          std::vector<std::string>{"-p", dir_.path().string(), "-c", "nginx.conf", "-e",
                                   (dir_ / "error.log").string()});
      if (!eventually([&] { return probe(httpPort_) && probe(httpsPort_); },
                      std::chrono::seconds(5)))
        program_.reset();
    }
    if (!program_)
      throw std::runtime_error("WebServer: nginx does not start; " + readFile(dir_ / "error.log"));
  }

  std::string url(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(scheme == "https" ? httpsPort_ : httpPort_);
  }
  std::string caFile() const { return (dir_ / "server.pem").string(); }

  // The access log so far, one request a line: "GET /path STATUS BODY_BYTES RANGE".
  std::string requests() const { return readFile(dir_ / "access.log"); }

 private:
  // Relative paths are nginx's prefix, the temporary folder.
  void writeConfig() const {
    std::ofstream conf(dir_ / "nginx.conf");
    std::string drip;  // unlike a rate limit's once a second, never a whole second without a byte
    for (int i = 0; i < 20; ++i) drip += " echo -n x; echo_flush; echo_sleep 0.25;";
    conf << "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
         << "daemon off; master_process off; user root; pid nginx.pid;\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "log_format lines '$request_method $uri $status $body_bytes_sent $http_range';\n"
         << "access_log access.log lines; default_type application/octet-stream;\n"
         << "client_body_temp_path body; proxy_temp_path proxy; fastcgi_temp_path fastcgi;\n"
         << "uwsgi_temp_path uwsgi; scgi_temp_path scgi; keepalive_requests 10000;\n"
         << "limit_req_zone $uri zone=once:1m rate=1r/m;\n";
    for (auto port : {httpPort_, httpsPort_}) {
      conf << "server { listen 127.0.0.1:" << port
           << (port == httpsPort_ ? " ssl; ssl_certificate server.pem; ssl_certificate_key "
                                    "server.key;\n"
                                  : ";\n")
           << "root " << root_.string() << ";\n";
      for (auto to : {url("http"), url("https"), std::string("ftp://127.0.0.1")})
        conf << "location ~ ^/to-" << to.substr(0, to.find(':')) << "/(.*)$ { return 302 " << to
             << "/$1; }\n";
      // The first request for a path passes the limit and meets the 500 (or 429); the next
      // ones are turned away by it, to the file.
      for (auto [prefix, status] : {std::pair{"flaky", "500"}, {"busy", "429"}})
        conf << "location /" << prefix << "/ { limit_req zone=once; limit_req_status 409;"
             << " error_page 409 = @whole; try_files /nothing =" << status << "; }\n";
      conf << "location @whole { rewrite ^/[a-z]+(/.*)$ $1 break; }\n"
           << "location = /drip {" << drip << " }\n"
           << "location ~ ^/trickle(/.*)$ { alias " << root_.string() << "$1; limit_rate 150; }\n"
           << "location ~ ^/stall-(\\d+)(/.*)$ { alias " << root_.string()
           << "$2; limit_rate_after $1; limit_rate 4; max_ranges 0; }\n"
           // The trickle's pauses run out the proxy's patience, which closes the connection.
           << "location ~ ^/cut-(\\d+)(/.*)$ { proxy_pass " << url("http")
           << "/stall-$1$2; proxy_buffering off; proxy_read_timeout 150ms; }\n"
           << "location ~ ^/longer/.+\\.pak$ { echo_duplicate 1048576 " << std::string(64, 'x')
           << "; }\nlocation /longer/ { rewrite ^/longer(/.*)$ $1 break; }\n}\n";
    }
    conf << "}\n";
  }

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

  std::filesystem::path root_;
  TempDir dir_;
  std::uint16_t httpPort_ = 0;
  std::uint16_t httpsPort_ = 0;
  std::unique_ptr<RunningProgram> program_;
};

}  // namespace kaldra::testing
