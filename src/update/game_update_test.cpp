#include "update/game_update.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::ShownStatus;
using Lines = std::vector<std::string>;

// One line of the tool's standard output, as a shell command.
std::string emit(const std::string& json) {
  return "printf '%s\\n' '" + json + "'\n";
}

// The tool: a shell script that notes each command line and says something to its log.
class GameUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.lang = "xx";  // no texts: the keys show
    cfg.logsDir = dir / "logs";
    cfg.clientDir = dir / "prefix/drive_c/Kaldrith";
    cfg.updater = dir / "kaldra-update";
    fs::create_directories(cfg.logsDir);
  }

  void useTool(const std::string& body) {
    fs::remove(dir / "calls");
    std::ofstream(cfg.updater) << "#!/bin/sh\necho \"$*\" >> '" << (dir / "calls").string() << "'\n"
                               << "echo said >&2\n"
                               << body;
    fs::permissions(cfg.updater, fs::perms::owner_all);
  }
  std::string calls() { return testing::readFile(dir / "calls"); }
  std::string prepareLine() {
    return "prepare --root " + cfg.clientDir.string() + " --json --lang xx\n";
  }
  Lines logLines() { return testing::launcherLogLines(cfg.logsDir); }

  testing::TempDir dir;
  testing::FakeUI ui;
};

TEST_F(GameUpdate, SuccessShowsProgressWithByteCountsOnlyForDownloads) {
  useTool(emit(R"({"type":"progress","label":"Downloading","pct":5,)"
               R"("stage":"download","done":400000,"total":999999})") +
          emit(R"({"type":"progress","label":"Downloading","pct":12.5,)"
               R"("stage":"download","done":1400000,"total":3000000})") +
          emit(R"({"type":"progress","label":"Downloading","pct":13,)"
               R"("stage":"download","done":1400000,"total":0})") +
          emit(R"({"type":"progress","label":"Installing","pct":90,"stage":"install",)"
               R"("done":1400000,"total":3000000})") +
          emit(R"({"type":"progress","pct":"95"})") + emit(R"({"type":"news","label":"x"})") +
          "exit 0\n");
  EXPECT_EQ(update(ui), kUpdateDone);
  EXPECT_EQ(ui.statuses, (std::vector<ShownStatus>{{"stage_manifest", 0.0, ""},
                                                   {"Downloading", 5.0, "400 / 1000 KB"},
                                                   {"Downloading", 12.5, "1 / 3 MB"},
                                                   {"Downloading", 13.0, ""},
                                                   {"Installing", 90.0, ""},
                                                   {"", 0.0, ""},
                                                   {"stage_ready", 100.0, ""}}));
  EXPECT_EQ(calls(), prepareLine());
  EXPECT_TRUE(fs::is_directory(cfg.clientDir));
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_EQ(logLines(), (Lines{"updater exit 0"}));
}

// A failure ends in the three-button dialog, whose answer chooses retry, log or quit.
TEST_F(GameUpdate, FailureAsksRetryOpenLogOrQuit) {
  const std::string log = "\n" + (cfg.logsDir / "updater.log").string();
  const struct {
    std::string body;
    int loggedStatus;
    std::string message;
    std::int64_t answer;
    int result;
  } cases[] = {{"echo 'prepare failed (network): cannot fetch x' >&2\nexit 3\n", 3,
                "Unexpected:" + log, 0, kUpdateAgain},
               {emit(R"({"type":"error","kind":"other","user":"Disk full"})") + "exit 4\n", 4,
                "Disk full" + log, 1, kUpdateQuit},
               // A refused list of files is no running game: the old files are not verified.
               {emit(R"({"type":"error","kind":"manifest","user":"Bad list"})") + "exit 7\n", 7,
                "Bad list", 0, kUpdateAgain},
               {"kill -SEGV $$\n", 11, "Unexpected:" + log, 2, kUpdateQuit},
               // A crash by abort() has the signal number of "game already running", but is none.
               {"kill -ABRT $$\n", 6, "Unexpected:" + log, 2, kUpdateQuit}};
  cfg.texts = {{"err_other", "Unexpected:"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    testing::FakeUI asked;
    asked.answers = {c.answer};
    fs::remove(cfg.logsDir / "launcher.log");
    std::ofstream(cfg.logsDir / "updater.log") << "an earlier run's\n";
    useTool(c.body);
    EXPECT_EQ(update(asked), c.result);
    EXPECT_EQ(asked.dialogs,
              (std::vector<testing::AskedDialog>{
                  {c.message, {"btn_retry", "btn_logs", "btn_quit"}, AlertStyle::warning}}));
    // The tool's own reason, where it gave one, in the launcher's log too.
    Lines logged{"updater exit " + std::to_string(c.loggedStatus)};
    if (c.loggedStatus == 3) logged.push_back("updater: prepare failed (network): cannot fetch x");
    EXPECT_EQ(logLines(), logged);
    EXPECT_EQ(calls(), prepareLine());  // no offline verify
    EXPECT_TRUE(testing::readFile(cfg.logsDir / "updater.log").starts_with("said\n"));
    EXPECT_TRUE(
        testing::readFile(cfg.logsDir / "updater-previous.log").ends_with("an earlier run's\n"));
    EXPECT_EQ(asked.calls, c.answer == 1 ? Lines{"openLogs"} : Lines{});
  }
}

// A running game or a stale channel: the installed files are verified offline, then played.
TEST_F(GameUpdate, RunningGameOrStaleChannelGoesOnAfterOfflineVerify) {
  for (const auto& [status, reason, shownText] :
       {std::tuple{6, "game already running", "stage_verify"},
        {10, "channel manifest refused as stale", "stage_verify_installed"}}) {
    testing::FakeUI shown;
    fs::remove(cfg.logsDir / "launcher.log");
    useTool("case \"$1\" in prepare) exit " + std::to_string(status) +
            " ;; verify) exit 0 ;; esac\nexit 99\n");
    EXPECT_EQ(update(shown), kUpdateDone);
    EXPECT_EQ(calls(), prepareLine() + "verify --root " + cfg.clientDir.string() + " --lang xx\n");
    EXPECT_EQ(shown.statuses[1], (ShownStatus{shownText, std::nullopt, ""}));
    EXPECT_EQ(shown.statuses.back().text, "stage_ready");
    EXPECT_TRUE(shown.dialogs.empty());
    EXPECT_EQ(logLines(), (Lines{"updater exit " + std::to_string(status),
                                 std::string(reason) + ", offline verify exit 0"}));
  }
}

}  // namespace
}  // namespace kaldra
