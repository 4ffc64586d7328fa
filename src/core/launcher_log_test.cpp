#include "core/launcher_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "core/config.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

// Several launchers may write at once; appends must not interleave or get lost.
TEST(LauncherLog, ConcurrentProcessesLoseNoLine) {
  testing::TempDir dir;
  cfg.logsDir = dir / "logs";
  std::vector<pid_t> children;
  for (int p = 0; p < 8; ++p) {
    if (pid_t pid = fork(); pid != 0) {
      children.push_back(pid);
      continue;
    }
    for (int i = 0; i < 200; ++i) log("writer " + std::to_string(p) + " line " + std::to_string(i));
    _exit(0);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  auto lines = testing::launcherLogLines(cfg.logsDir);
  EXPECT_EQ(lines.size(), 1600u);
  for (const auto& line : lines)
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(writer \d line \d+)"))) << line;
}

}  // namespace
}  // namespace kaldra
