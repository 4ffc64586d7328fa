// The tool as the launcher sees it: a separate program, its standard output, standard
// error and exit status.
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "updater/failure.h"
#include "updater/game_folder.h"
#include "updater/messages.h"
#include "updater/test_files.h"
#include "updater/test_process.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

bool isOneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

TEST(Cli, WhatTheToolDoesNotKnowIsStatus2WithOneLineOnStandardError) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"texts", "xx"},
           {"xplat-check", "--state", "/tmp", "--platform", "../x"},
           {"xplat-fetch", "--state", "/tmp", "--out", "/tmp"},
           {"prepare", "--json", "--lang", "en"},
           {"prepare", "--root", "/tmp/x", "--lang", "klingon"},
           {"verify", "--root", "/tmp/x", "extra"},
           {"publish"},
       }) {
    auto run = runTool(args);
    EXPECT_EQ(run.status, kExitUsage) << (args.empty() ? "" : args.front());
    EXPECT_TRUE(isOneLine(run.err)) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

class CliPrepare : public ::testing::Test {
 protected:
  void SetUp() override {
    publishChannel(channel_, {{"kaldrith.exe", "MZ"}, {"data/world.pak", "world"}});
  }
  ToolRun prepare(const std::string& channel, const std::string& lang = "en") {
    return runTool({"prepare", "--root", root_.string(), "--json", "--lang", lang},
                   {"KALDRA_UPDATE_CHANNEL=" + channel, "KALDRA_TEST_RETRY_MS=1"});
  }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path root_ = temp_ / "game";
};

TEST_F(CliPrepare, EventsSpeakTheRunsLanguageAndTheLogNamesTheChannel) {
  auto run = prepare(channel_.string(), "fr");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(parseEvents(run.out).back()["label"], message(Message::readyUpdated, Language::fr));
  EXPECT_NE(run.err.find(channel_.string()), std::string::npos) << run.err;

  run = prepare("http://127.0.0.1:1/channel", "de");
  EXPECT_EQ(run.status, exitStatus(FailureKind::network));
  auto last = parseEvents(run.out).back();
  EXPECT_EQ(last["type"], "error");
  EXPECT_EQ(last["kind"], "network");
  EXPECT_EQ(last["user"], failureMessage(FailureKind::network, Language::de));
  EXPECT_NE(run.err.find("127.0.0.1:1"), std::string::npos) << run.err;
}

TEST_F(CliPrepare, RunningGameMeansStatus6AndNothingElse) {
  fs::create_directories(root_);
  fs::copy_file("/bin/sleep", root_ / "game");
  ProcessIn game(temp_.path(), {(root_ / "game").string(), "60"});
  auto run = prepare(channel_.string());
  EXPECT_EQ(run.status, kExitGameRunning);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(isOneLine(run.err)) << run.err;
  EXPECT_FALSE(fs::exists(root_ / "kaldrith.exe"));
  EXPECT_FALSE(fs::exists(statePath(root_)));
}

TEST_F(CliPrepare, VerifyChecksWhatPrepareInstalled) {
  auto verify = [&] { return runTool({"verify", "--root", root_.string(), "--lang", "en"}); };
  auto none = verify();
  EXPECT_EQ(none.status, exitStatus(FailureKind::manifest));
  ASSERT_EQ(prepare(channel_.string()).status, 0);
  EXPECT_EQ(verify().status, 0);
  writeFile(root_ / "kaldrith.exe", "ZM");
  auto bad = verify();
  EXPECT_EQ(bad.status, exitStatus(FailureKind::integrity));
  EXPECT_TRUE(isOneLine(none.err) && isOneLine(bad.err)) << none.err << bad.err;
}

}  // namespace
}  // namespace kaldra::update
