#include "update/game_update.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::FakeUI;
using testing::ShownStatus;
using Lines = std::vector<std::string>;

Lines linesOf(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One line of the tool's standard output, as a shell command.
std::string emit(const std::string& json) {
  return "printf '%s\\n' '" + json + "'\n";
}

// The updater tool is a real shell script in a temporary folder; it notes each command
// line it is run with.
class GameUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.lang = "en";
    cfg.texts = {{"stage_manifest", "Checking for updates"},
                 {"stage_verify", "Verifying files"},
                 {"stage_ready", "Ready to play"},
                 {"err_other", "Unexpected error."},
                 {"btn_retry", "Retry"},
                 {"btn_logs", "Open log"},
                 {"btn_quit", "Quit"}};
    cfg.logsDir = dir / "logs";
    cfg.clientDir = dir / "prefix/drive_c/Kaldrith";
    cfg.updater = dir / "kaldra-update";
    fs::create_directories(cfg.logsDir);
  }

  void useTool(const std::string& body) {
    std::ofstream(cfg.updater) << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '"
                               << (dir / "calls").string() << "'\n"
                               << body;
    fs::permissions(cfg.updater, fs::perms::owner_all);
  }

  Lines calls() { return linesOf(testing::readFile(dir / "calls")); }
  std::string toolLogPath() { return (cfg.logsDir / "updater.log").string(); }
  std::string prepareLine() {
    return "prepare --root " + cfg.clientDir.string() + " --json --lang en";
  }

  Lines logLines() { return testing::launcherLogLines(cfg.logsDir); }

  void expectFailureDialog(const std::string& message) {
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].message, message);
    EXPECT_EQ(ui.dialogs[0].buttons, (Lines{"Retry", "Open log", "Quit"}));
    EXPECT_EQ(ui.dialogs[0].style, AlertStyle::warning);
  }

  testing::TempDir dir;
  FakeUI ui;
};

void expectStatus(const ShownStatus& shown, const std::string& text, std::optional<double> progress,
                  const std::string& detail = "") {
  EXPECT_EQ(shown.text, text);
  EXPECT_EQ(shown.progress, progress);
  EXPECT_EQ(shown.detail, detail);
}

TEST_F(GameUpdate, QuietSuccessShowsCheckingThenReady) {
  useTool("exit 0\n");
  EXPECT_EQ(update(ui), kUpdateDone);
  EXPECT_EQ(calls(), (Lines{prepareLine()}));
  EXPECT_TRUE(fs::is_directory(cfg.clientDir));
  ASSERT_EQ(ui.statuses.size(), 2u);
  expectStatus(ui.statuses[0], "Checking for updates", 0.0);
  expectStatus(ui.statuses[1], "Ready to play", 100.0);
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_EQ(logLines(), (Lines{"updater exit 0"}));
}

TEST_F(GameUpdate, ProgressEventsShowByteCountsOnlyForDownloads) {
  useTool(emit(R"({"type":"progress","label":"Downloading files","pct":12.5,)"
               R"("stage":"download","done":1400000,"total":3000000})") +
          emit(R"({"type":"progress","label":"Downloading files","pct":13,)"
               R"("stage":"download","done":1400000,"total":0})") +
          emit(R"({"type":"progress","label":"Installing","pct":90,"stage":"install",)"
               R"("done":1400000,"total":3000000})") +
          emit(R"({"type":"progress","pct":"95"})") + emit(R"({"type":"news","label":"x"})") +
          "exit 0\n");
  EXPECT_EQ(update(ui), kUpdateDone);
  ASSERT_EQ(ui.statuses.size(), 6u);
  expectStatus(ui.statuses[1], "Downloading files", 12.5, "1 / 3 MB");
  expectStatus(ui.statuses[2], "Downloading files", 13.0);
  expectStatus(ui.statuses[3], "Installing", 90.0);
  expectStatus(ui.statuses[4], "", 0.0);
  expectStatus(ui.statuses[5], "Ready to play", 100.0);
}

// One row of the failure table: what the tool does and what the player then reads.
struct Failure {
  std::string name;
  std::string body;
  int loggedStatus;
  std::string message;  // "$LOG" stands for the full path of updater.log
};

class GameUpdateFailure : public GameUpdate, public ::testing::WithParamInterface<Failure> {};

TEST_P(GameUpdateFailure, EndsInTheThreeButtonDialog) {
  const Failure& failure = GetParam();
  useTool(failure.body);
  ui.answers = {2};
  EXPECT_EQ(update(ui), kUpdateQuit);
  std::string message = failure.message;
  if (auto at = message.find("$LOG"); at != std::string::npos)
    message.replace(at, 4, toolLogPath());
  expectFailureDialog(message);
  EXPECT_EQ(logLines(), (Lines{"updater exit " + std::to_string(failure.loggedStatus)}));
  EXPECT_EQ(calls(), (Lines{prepareLine()}));  // no offline verify
  EXPECT_TRUE(ui.callsSnapshot().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, GameUpdateFailure,
    ::testing::Values(
        Failure{"NoErrorEvent", "exit 3\n", 3, "Unexpected error.\n$LOG"},
        Failure{"KindOther",
                emit(R"({"type":"error","kind":"other","user":"Disk full"})") + "exit 4\n", 4,
                "Disk full\n$LOG"},
        Failure{"CrashBySignal", "kill -SEGV $$\n", 11, "Unexpected error.\n$LOG"},
        // A crash by abort() has the signal number of "game already running", but is none.
        Failure{"AbortIsNoRunningGame", "kill -ABRT $$\n", 6, "Unexpected error.\n$LOG"}),
    [](const auto& row) { return row.param.name; });

TEST_F(GameUpdate, AnswersChooseRetryOpenLogOrQuit) {
  useTool("exit 1\n");
  struct Case {
    int answer;
    int result;
    bool opensLogs;
  };
  for (Case c :
       {Case{0, kUpdateAgain, false}, Case{1, kUpdateQuit, true}, Case{2, kUpdateQuit, false}}) {
    FakeUI asked;
    asked.answers = {c.answer};
    EXPECT_EQ(update(asked), c.result) << "answer " << c.answer;
    EXPECT_EQ(asked.callsSnapshot(), c.opensLogs ? Lines{"openLogs"} : Lines{})
        << "answer " << c.answer;
  }
}

TEST_F(GameUpdate, RunningGameWithGoodFilesGoesOnAfterOfflineVerify) {
  useTool("case \"$1\" in prepare) exit 6 ;; verify) exit 0 ;; esac\nexit 99\n");
  EXPECT_EQ(update(ui), kUpdateDone);
  EXPECT_EQ(calls(),
            (Lines{prepareLine(), "verify --root " + cfg.clientDir.string() + " --lang en"}));
  ASSERT_EQ(ui.statuses.size(), 3u);
  expectStatus(ui.statuses[1], "Verifying files", std::nullopt);
  expectStatus(ui.statuses[2], "Ready to play", 100.0);
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_EQ(logLines(), (Lines{"updater exit 6", "game already running, offline verify exit 0"}));
}

}  // namespace
}  // namespace kaldra
