// Xvfb on a display it picks, for a game under Wine; ended politely in the destructor, so
// that it removes its lock.
#pragma once

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "platform/spawn.h"

namespace kaldra::testing {

class VirtualScreen {
 public:
  VirtualScreen() {
    auto server = platform::spawnProcess(
        {.program = "/usr/bin/Xvfb",
         .args = {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
         .out = platform::Output::pipe(),
         .err = platform::Output::null(),
         .nullInput = true,
         .newSession = true});
    pid_ = server.pid;
    // It writes the display's number once it takes connections.
    std::string number;
    pollfd ready{.fd = server.pipe.get(), .events = POLLIN};
    char c = 0;
    while (pid_ > 0 && ::poll(&ready, 1, 10000) == 1 && ::read(server.pipe.get(), &c, 1) == 1 &&
           c != '\n')
      number += c;
    if (number.empty()) {
      this->~VirtualScreen();
      throw std::runtime_error("VirtualScreen: Xvfb does not start");
    }
    display_ = ":" + number;
  }
  ~VirtualScreen() {
    if (pid_ < 1) return;
    ::kill(pid_, SIGTERM);
    platform::waitForExit(pid_);
  }
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  // The value for DISPLAY.
  const std::string& display() const { return display_; }

 private:
  int pid_ = -1;
  std::string display_;
};

}  // namespace kaldra::testing
