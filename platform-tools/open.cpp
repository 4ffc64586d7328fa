// open -n [--env NAME=VALUE]... APP: starts the executable of the bundle APP as a new,
// detached process with those variables, and returns once it has started. Like the
// platform's, the application does not inherit the caller's KALDRA_ settings: it gets
// only those given with --env.
#include <cstdio>
#include <map>
#include <string>

#include "platform/open_application.h"

int main(int argc, char** argv) {
  std::map<std::string, std::string> env;
  std::string app;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-n") continue;
    if (arg == "--env" && i + 1 < argc) {
      std::string entry = argv[++i];
      auto equals = entry.find('=');
      if (equals == std::string::npos || equals == 0) {
        std::fprintf(stderr, "open: bad --env entry: %s\n", entry.c_str());
        return 2;
      }
      env[entry.substr(0, equals)] = entry.substr(equals + 1);
    } else if (app.empty() && !arg.starts_with("-")) {
      app = arg;
    } else {
      std::fprintf(stderr, "open: usage: open -n [--env NAME=VALUE]... application\n");
      return 2;
    }
  }
  if (app.empty()) {
    std::fprintf(stderr, "open: usage: open -n [--env NAME=VALUE]... application\n");
    return 2;
  }
  if (!kaldra::platform::openApplication(app, env, "KALDRA_")) {
    std::fprintf(stderr, "open: %s: the application cannot be opened\n", app.c_str());
    return 1;
  }
  return 0;
}
