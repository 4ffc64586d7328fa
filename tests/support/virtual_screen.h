// Xvfb on a free display number, for programs that need a real X display (a Windows game
// under Wine opens its window there); stopped in the destructor.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/support/running_program.h"

namespace kaldra::testing {

class VirtualScreen {
 public:
  VirtualScreen() {
    // A number another server holds makes Xvfb end at once: go on with the next.
    for (int number = 90; number < 130 && !server_; ++number) {
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
      if (std::filesystem::exists(socket) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        continue;
      server_ = std::make_unique<RunningProgram>(
          "/usr/bin/Xvfb", std::vector<std::string>{":" + std::to_string(number), "-nolisten",
                                                    "tcp", "-screen", "0", "1024x768x24"});
      if (eventually([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(10)))
        display_ = ":" + std::to_string(number);
      else
        server_.reset();
    }
    if (!server_) throw std::runtime_error("VirtualScreen: Xvfb does not start");
  }

  // The value for DISPLAY.
  const std::string& display() const { return display_; }

 private:
  std::unique_ptr<RunningProgram> server_;
  std::string display_;
};

}  // namespace kaldra::testing
