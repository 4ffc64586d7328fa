// Serves a folder over loopback HTTP for the updater benchmarks, so that the tool and
// curl download from the same server. Prints the server's URL, then serves until its
// standard input closes.
//
//   bench_http_server FOLDER
#include <unistd.h>

#include <iostream>

#include "tests/support/http_server.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: bench_http_server FOLDER\n";
    return 2;
  }
  kaldra::testing::HttpServer server(argv[1]);
  std::cout << server.url() << std::endl;
  char byte;
  while (::read(STDIN_FILENO, &byte, 1) > 0) {
  }
  return 0;
}
