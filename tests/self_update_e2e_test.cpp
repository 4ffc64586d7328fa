// The launcher updating itself for real, from a launcher channel served over loopback HTTP
// through the swap helper's exchange to the new launcher's confirmation or rollback.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "tests/support/http_server.h"
#include "tests/support/launcher_run.h"
#include "tests/support/running_program.h"

namespace kaldra::testing {
namespace {

class SelfUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(next.parent_path());
    fs::copy(run.app(), next, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    auto plist = next / "Contents/Info.plist";
    std::string text = run.file(plist);
    std::ofstream(plist, std::ios::trunc)
        << std::regex_replace(text, std::regex("<string>" KALDRA_PROJECT_VERSION "</string>"),
                              "<string>" + nextVersion + "</string>");
    shell(run.resources() / "platform/codesign", "--sign - --force '" + next.string() + "'");
    shell(run.resources() / "bin/kaldra-update", "publish-launcher '" + next.string() + "' '" +
                                                     channel.string() + "' --key '" +
                                                     KALDRA_SIGNING_KEY + "'");
    run.env["KALDRA_XPLAT_FEED"] = server.url();
    run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
    run.env["KALDRA_TEST_ANSWERS"] = "0";  // the offer: update and restart
  }

  static void shell(const fs::path& program, const std::string& args) {
    std::string command = "'" + program.string() + "' " + args + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  bool installed(const std::string& version) const {
    return run.file(run.app() / "Contents/Info.plist").find(">" + version + "<") !=
           std::string::npos;
  }
  // The launcher that the helper started has run to its end.
  bool secondLauncherDone() const {
    auto lines = run.logLines();
    return std::count(lines.begin(), lines.end(), "test: stop before the game start") == 1;
  }
  long offers(const std::string& text) const {
    auto lines = run.logLines();
    return std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
      return line.starts_with("xplat: ") && line.find(text) != std::string::npos;
    });
  }
  bool nothingLeftBeside() const {
    for (const auto& entry : fs::directory_iterator(run.root()))
      if (entry.path().filename().string().find("Kaldrith.app.") != std::string::npos) return false;
    for (const auto& entry : fs::directory_iterator(run.dataDir() / "xplat"))
      if (entry.path().filename().string().starts_with("mnt-")) return false;
    return !fs::exists(run.dataDir() / "xplat/mac-swap.json");
  }

  LauncherRun run;
  std::string nextVersion = "1.1.0";
  fs::path next = run.root() / "next/Kaldrith.app";
  fs::path channel = run.root() / "channel";
  HttpServer server{channel};
};

TEST_F(SelfUpdate, AcceptedOfferReplacesTheBundleAndTheNewLauncherConfirms) {
  ASSERT_FALSE(run.start().timedOut);
  ASSERT_TRUE(eventually([&] { return secondLauncherDone(); }, std::chrono::seconds(60)))
      << run.file(run.logsDir() / "launcher.log");
  EXPECT_TRUE(installed(nextVersion));
  EXPECT_TRUE(run.logged("self-update 1.0.0 -> 1.1.0 confirmed; previous bundle removed"));
  EXPECT_EQ(offers("\"update\":false"), 1);  // the new launcher is the channel's version
  EXPECT_TRUE(eventually([&] { return nothingLeftBeside(); }));
}

TEST_F(SelfUpdate, NewLauncherThatCannotStartIsRolledBackAndNotOfferedAgain) {
  run.env["KALDRA_TEST_FAIL_START"] = nextVersion;
  run.env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "0";  // the restored notice
  ASSERT_FALSE(run.start().timedOut);
  ASSERT_TRUE(eventually([&] { return secondLauncherDone(); }, std::chrono::seconds(90)))
      << run.file(run.logsDir() / "launcher.log") << run.file(run.logsDir() / "swap-helper.log");
  EXPECT_TRUE(installed(KALDRA_PROJECT_VERSION));
  EXPECT_TRUE(run.logged("self-update to 1.1.0 rolled back to 1.0.0"));
  EXPECT_EQ(offers("\"offered\":\"1.1.0\""), 2);  // offered once, then passed over
  EXPECT_TRUE(eventually([&] { return nothingLeftBeside(); }));
}

}  // namespace
}  // namespace kaldra::testing
