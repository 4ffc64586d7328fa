// The built tool run as the launcher runs it, standard output and error apart.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
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

}  // namespace kaldra::update::testing
