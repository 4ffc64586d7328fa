#include "core/launcher_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "core/config.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

class LauncherLog : public ::testing::Test {
 protected:
  void SetUp() override { cfg.logsDir = dir / "logs"; }
  std::string contents() {
    std::ifstream in(cfg.logsDir / "launcher.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  testing::TempDir dir;
};

TEST_F(LauncherLog, FirstCallCreatesTheFolderAndOneLine) {
  log("hello");
  std::string text = contents();
  EXPECT_TRUE(
      std::regex_match(text, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \+0000 hello\n)")))
      << text;
  struct stat info {};
  ASSERT_EQ(stat((cfg.logsDir / "launcher.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(LauncherLog, LinesAppendInOrderAndKeepEmbeddedLineFeeds) {
  log("one");
  log("two\nthree");
  log("");
  std::istringstream lines(contents());
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].substr(26), "one");
  EXPECT_EQ(all[1].substr(26), "two");
  EXPECT_EQ(all[2], "three");
  EXPECT_EQ(all[3].size(), 26u);  // timestamp, blank, nothing
  EXPECT_EQ(all[3].back(), ' ');
}

TEST_F(LauncherLog, ExistingLogIsNeverReplaced) {
  std::filesystem::create_directories(cfg.logsDir);
  std::ofstream(cfg.logsDir / "launcher.log") << "earlier run\n";
  log("later run");
  EXPECT_TRUE(contents().starts_with("earlier run\n"));
}

TEST_F(LauncherLog, ConcurrentProcessesLoseNoLine) {
  constexpr int kProcesses = 8, kLines = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < kLines; ++i)
        log("writer " + std::to_string(p) + " line " + std::to_string(i));
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  std::istringstream lines(contents());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(.{26}writer \d line \d+)"))) << line;
    ++count;
  }
  EXPECT_EQ(count, kProcesses * kLines);
}

TEST_F(LauncherLog, UnwritableFolderIsSilent) {
  cfg.logsDir = "/proc/not-a-folder/logs";
  log("lost");  // must neither throw nor crash
}

TEST(LogTimestamp, ZeroPaddedUtc) {
  EXPECT_EQ(logTimestamp(0), "1970-01-01 00:00:00 +0000");
  EXPECT_EQ(logTimestamp(1772373909), "2026-03-01 14:05:09 +0000");
}

}  // namespace
}  // namespace kaldra
