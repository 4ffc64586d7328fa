// A real program started for a test, in a session of its own, and killed with everything
// it started (and reaped) when the test is done.
#pragma once

#include <signal.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"

namespace kaldra::testing {

class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::vector<std::string>& args) {
    pid_ = platform::spawnProcess({.program = program,
                                   .args = args,
                                   .out = platform::Output::null(),
                                   .nullInput = true,
                                   .newSession = true})
               .pid;
  }
  ~RunningProgram() { stop(); }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  int pid() const { return pid_; }

  // Kills the program and whatever it started, and reaps it; its id is then free for the
  // system to reuse.
  void stop() {
    if (pid_ < 1) return;
    ::kill(-pid_, SIGKILL);
    platform::waitForExit(pid_);
    pid_ = -1;
  }

 private:
  int pid_ = -1;
};

// Polls `condition` every 10 ms for up to `limit`; its last answer.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace kaldra::testing
