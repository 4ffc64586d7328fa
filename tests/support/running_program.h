// A real program in a session of its own, killed with all it started when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"

namespace kaldra::testing {

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

class RunningProgram {
 public:
  // With a `folder`, the program runs there (as a shell left open there would), and is
  // the process once this returns.
  RunningProgram(const std::string& program, std::vector<std::string> args,
                 const std::filesystem::path& folder = {}) {
    if (!folder.empty())
      args.insert(args.begin(), {"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", folder, program});
    pid_ = platform::spawnProcess({.program = folder.empty() ? program : "/bin/sh",
                                   .args = args,
                                   .out = platform::Output::null(),
                                   .nullInput = true,
                                   .newSession = true})
               .pid;
    auto exe = "/proc/" + std::to_string(pid_) + "/exe";
    std::error_code error;
    EXPECT_TRUE(folder.empty() || eventually([&] {
                  return std::filesystem::read_symlink(exe, error) ==
                         std::filesystem::canonical(program);
                }))
        << program << " did not start in " << folder;
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

}  // namespace kaldra::testing
