// nginx, started for a test on two free loopback ports, one plain HTTP and one HTTPS
// with a certificate from a test-made authority, both serving the same folder: the
// range requests, keep-alive and redirects the tool meets are a real server's.
//
//   WebServer web(channel, faultyServer.port());
//   env "KALDRA_TEST_CA_FILE=" + web.caFile();
//   web.url("https") + "/faulty"   // proxied to the fault-injecting server
//   web.url("http") + "/to-https"  // redirected to the same path on the HTTPS port
//
// Also answers /to-http/... (from either port) with a redirect to plain HTTP and
// /to-ftp/... with one to ftp://. Listens on 127.0.0.1 only; stopped in the destructor.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
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

#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class WebServer {
 public:
  // `faultyPort`: where /faulty/ is proxied to, unbuffered (0: no such location).
  explicit WebServer(std::filesystem::path root, std::uint16_t faultyPort = 0)
      : root_(std::move(root)) {
    makeCertificates();
    // A port picked free may be taken before nginx binds it: try again with new ones.
    for (int attempt = 0; attempt < 3 && !program_; ++attempt) {
      httpPort_ = freePort();
      httpsPort_ = freePort();
      writeConfig(faultyPort);
      program_ = std::make_unique<RunningProgram>(
          "/usr/sbin/nginx",
          std::vector<std::string>{"-p", dir_.path().string(), "-c", "nginx.conf", "-e",
                                   (dir_ / "error.log").string()});
      if (!eventually([&] { return accepts(httpPort_) && accepts(httpsPort_); },
                      std::chrono::seconds(5)))
        program_.reset();
    }
    if (!program_) {
      std::ostringstream errors;
      errors << std::ifstream(dir_ / "error.log").rdbuf();
      throw std::runtime_error("WebServer: nginx does not start; " + errors.str());
    }
  }

  std::string url(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(scheme == "https" ? httpsPort_ : httpPort_);
  }
  std::string caFile() const { return (dir_ / "ca.pem").string(); }

  // The access log so far, one request a line: "GET /path STATUS BODY_BYTES RANGE".
  std::vector<std::string> requests() const {
    std::ifstream in(dir_ / "access.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  void makeCertificates() {
    std::string key =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
        "-nodes -days 2 ";
    std::string command =
        "cd '" + dir_.path().string() + "' && " + key +
        "-keyout ca.key -out ca.pem -subj '/CN=Kaldrith test CA' " +
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign && " +
        key + "-keyout server.key -out server.pem -subj /CN=127.0.0.1 -CA ca.pem -CAkey ca.key " +
        "-addext subjectAltName=IP:127.0.0.1";
    if (std::system(("(" + command + ") >/dev/null 2>&1").c_str()) != 0)
      throw std::runtime_error("WebServer: openssl cannot make the test certificates");
  }

  // Relative paths are nginx's prefix, the temporary folder.
  void writeConfig(std::uint16_t faultyPort) const {
    std::ofstream conf(dir_ / "nginx.conf");
    conf << "daemon off; master_process off; user root; pid nginx.pid;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n"
         << "log_format lines '$request_method $uri $status $body_bytes_sent $http_range';\n"
         << "access_log access.log lines; default_type application/octet-stream;\n"
         << "client_body_temp_path body; proxy_temp_path proxy; fastcgi_temp_path fastcgi;\n"
         << "uwsgi_temp_path uwsgi; scgi_temp_path scgi; keepalive_requests 10000;\n";
    for (auto port : {httpPort_, httpsPort_}) {
      conf << "server { listen 127.0.0.1:" << port
           << (port == httpsPort_ ? " ssl; ssl_certificate server.pem; ssl_certificate_key "
                                    "server.key;\n"
                                  : ";\n")
           << "root " << root_.string() << ";\n"
           << "location ~ ^/to-http/(.*)$ { return 302 http://127.0.0.1:" << httpPort_ << "/$1; }\n"
           << "location ~ ^/to-https/(.*)$ { return 302 https://127.0.0.1:" << httpsPort_
           << "/$1; }\n"
           << "location ~ ^/to-ftp/(.*)$ { return 302 ftp://127.0.0.1/$1; }\n";
      if (faultyPort != 0)
        conf << "location /faulty/ { proxy_pass http://127.0.0.1:" << faultyPort
             << "/; proxy_buffering off; }\n";
      conf << "}\n";
    }
    conf << "}\n";
  }

  static sockaddr_in loopback(std::uint16_t port) {
    return {.sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}};
  }

  static std::uint16_t freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
  }

  static bool accepts(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }

  std::filesystem::path root_;
  TempDir dir_;
  std::uint16_t httpPort_ = 0;
  std::uint16_t httpsPort_ = 0;
  std::unique_ptr<RunningProgram> program_;
};

}  // namespace kaldra::testing
