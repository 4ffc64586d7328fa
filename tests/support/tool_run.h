// Test helpers: real processes for the tool's command line and for a game that runs
// from a folder.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"
#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace kaldra::update::testing {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built kaldra-update with `args`. The environment is this process's without
// KALDRA_UPDATE_CHANNEL, plus `extraEnvironment` ("KEY=value").
inline ToolRun runTool(const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment = {},
                       const std::string& program = KALDRA_UPDATER_PATH) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (!std::string_view(*entry).starts_with("KALDRA_UPDATE_CHANNEL="))
      environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  kaldra::testing::TempDir errDir;
  auto errFile = platform::createTruncated((errDir / "stderr").string());
  platform::SpawnRequest request{.program = program,
                                 .args = args,
                                 .environment = environment,
                                 .out = platform::Output::pipe(),
                                 .err = platform::Output::to(errFile.get()),
                                 .nullInput = true};
  auto child = platform::spawnProcess(request);
  EXPECT_GT(child.pid, 0) << child.error;
  ToolRun run;
  run.out = platform::readAll(child.pipe.get());
  run.status = platform::waitForExit(child.pid);
  run.err = readFile(errDir / "stderr");
  return run;
}

// A process whose working folder is `folder` running `command` (by default a plain
// sleep, as a shell left open there would be); killed when this object goes.
class ProcessIn {
 public:
  explicit ProcessIn(const std::filesystem::path& folder,
                     std::vector<std::string> command = {"/bin/sleep", "60"}) {
    std::vector<std::string> args{"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", folder.string()};
    args.insert(args.end(), command.begin(), command.end());
    pid_ = platform::spawnProcess({.program = "/bin/sh", .args = args, .nullInput = true}).pid;
    // Wait until the shell has changed folder and become the program.
    auto link = "/proc/" + std::to_string(pid_) + "/exe";
    for (int i = 0; i < 500; ++i) {
      std::error_code error;
      if (std::filesystem::read_symlink(link, error) == std::filesystem::canonical(command[0]))
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the process did not start in " << folder;
  }
  ~ProcessIn() {
    ::kill(pid_, SIGKILL);
    platform::waitForExit(pid_);
  }
  ProcessIn(const ProcessIn&) = delete;
  ProcessIn& operator=(const ProcessIn&) = delete;

  int pid() const { return pid_; }

 private:
  int pid_ = -1;
};

}  // namespace kaldra::update::testing
