#include "selfupdate/xplat_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::FakeUI;
using Buttons = std::vector<std::string>;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The updater tool is a shell script that answers "xplat-check" and "xplat-fetch" with
// what the test put into its files.
class XplatCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.lang = "en";
    cfg.texts = {{"xplat_required_manual", "{old} may no longer run; install {new} by hand."},
                 {"xplat_system_too_old", "{new} needs system {min}."},
                 {"xplat_update_available", "Update to {new} now?"},
                 {"xplat_update_available_mac", "Download {new}?"},
                 {"xplat_update_required", "{old} is too old."},
                 {"xplat_downloading", "Downloading"},
                 {"xplat_downloaded", "Downloaded"},
                 {"xplat_installing", "Installing"},
                 {"xplat_failed", "Update failed:"},
                 {"xplat_mac_opened", "Opened."},
                 {"err_game_running", "Kaldrith is running."},
                 {"btn_quit", "Quit"},
                 {"btn_later", "Later"},
                 {"btn_download", "Download"},
                 {"btn_update_restart", "Update"},
                 {"btn_continue", "Continue"}};
    cfg.dataDir = dir / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.xplatDir = cfg.dataDir / "xplat";
    cfg.appBundle = dir / "apps/Kaldrith.app";
    cfg.appVersion = "1.0";
    cfg.res = cfg.appBundle / "Contents/Resources";
    cfg.updater = dir / "kaldra-update";
    fs::create_directories(cfg.logsDir);
    fs::create_directories(cfg.xplatDir / "download");
    fs::create_directories(cfg.appBundle / "Contents/MacOS");
    std::ofstream(cfg.updater) << "#!/bin/sh\n"
                               << "cd '" << dir.path().string() << "'\n"
                               << "case \"$1\" in\n"
                               << "xplat-check) cat check.out; exit $(cat check.status) ;;\n"
                               << "xplat-fetch) echo \"$*\" > fetch.args; echo fetching >&2;\n"
                               << "  cat fetch.out; exit $(cat fetch.status) ;;\n"
                               << "esac\nexit 9\n";
    fs::permissions(cfg.updater, fs::perms::owner_all);
    check(0, R"({"update":true,"offered":"2.0","current":"1.0"})");
    fetch(0, "");
  }

  void check(int status, const std::string& output) {
    std::ofstream(dir / "check.status") << status;
    std::ofstream(dir / "check.out") << output;
  }
  void fetch(int status, const std::string& events) {
    std::ofstream(dir / "fetch.status") << status;
    std::ofstream(dir / "fetch.out") << events;
  }
  std::string image(const std::string& name = "Kaldrith-2.0.dmg") {
    auto path = cfg.xplatDir / "download" / name;
    std::ofstream(path) << "image";
    return path.string();
  }
  std::string fileEvent(const std::string& path, const std::string& sha = std::string(64, 'a')) {
    return R"({"type":"xplat-file","path":")" + path + R"(","sha256":")" + sha +
           R"(","version":"2.0"})"
           "\n";
  }
  std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    std::istringstream in(readFile(cfg.logsDir / "launcher.log"));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.substr(line.find(' ', 20) + 1));
    return lines;
  }
  bool logged(const std::string& message) {
    auto lines = logLines();
    return std::find(lines.begin(), lines.end(), message) != lines.end();
  }

  testing::TempDir dir;
  FakeUI ui;
};

TEST_F(XplatCheck, UnusableChecksAreLoggedAndPassedOver) {
  struct Case {
    int status;
    std::string output;
    std::string line;
  } cases[] = {{3, R"({"update":true})", "xplat-check exit 3 (ignored)"},
               {0, "not json", "xplat-check exit 0 (ignored)"},
               {0, "[true]", "xplat-check exit 0 (ignored)"}};
  for (const auto& c : cases) {
    check(c.status, c.output);
    EXPECT_TRUE(xplatCheck(ui));
    EXPECT_TRUE(logged(c.line)) << c.line;
  }
  cfg.updater = dir / "missing-tool";
  EXPECT_TRUE(xplatCheck(ui));
  EXPECT_TRUE(logged("xplat-check exit -1 (ignored)"));
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(XplatCheck, DecisionsBeforeAnyOffer) {
  struct Case {
    std::string output;
    std::optional<std::string> message;
    Buttons buttons;
    bool result;
  } cases[] = {
      {R"({"update":false,"required":true,"offered":"2.0","current":"1.0"})",
       "1.0 may no longer run; install 2.0 by hand.",
       {"Quit"},
       false},
      {R"({"update":false})", std::nullopt, {}, true},
      {R"({"update":true,"systemOk":false,"offered":"2.0","minSystem":"13"})",
       "2.0 needs system 13.",
       {"Later"},
       true},
      {R"({"update":true,"required":true,"systemOk":false,"offered":"2.0","minSystem":"13"})",
       "2.0 needs system 13.",
       {"Quit"},
       false},
  };
  for (const auto& c : cases) {
    FakeUI fresh;
    check(0, c.output);
    EXPECT_EQ(xplatCheck(fresh), c.result) << c.output;
    EXPECT_TRUE(logged("xplat: " + c.output));
    ASSERT_EQ(fresh.dialogs.size(), c.message ? 1u : 0u) << c.output;
    if (c.message) {
      EXPECT_EQ(fresh.dialogs[0].message, *c.message);
      EXPECT_EQ(fresh.dialogs[0].buttons, c.buttons);
      EXPECT_EQ(fresh.dialogs[0].style, AlertStyle::warning);
    }
  }
  EXPECT_FALSE(fs::exists(dir / "fetch.args"));
}

TEST_F(XplatCheck, TheOfferFollowsTheRouteAndTheRequirement) {
  struct Case {
    std::string noSelfUpdate;
    bool required;
    std::string message;
    Buttons buttons;
  } cases[] = {
      {"0", false, "Update to 2.0 now?", {"Update", "Later"}},
      {"1", false, "Download 2.0?", {"Download", "Later"}},
      {"", true, "1.0 is too old.\n\nUpdate to 2.0 now?", {"Update", "Quit"}},
  };
  for (const auto& c : cases) {
    FakeUI fresh;
    fresh.answers = {1};
    cfg.env["KALDRA_NO_SELF_UPDATE"] = c.noSelfUpdate;
    check(0, std::string(R"({"update":true,"offered":"2.0","current":"1.0","required":)") +
                 (c.required ? "true}" : "false}"));
    EXPECT_EQ(xplatCheck(fresh), !c.required);
    ASSERT_EQ(fresh.dialogs.size(), 1u);
    EXPECT_EQ(fresh.dialogs[0].message, c.message);
    EXPECT_EQ(fresh.dialogs[0].buttons, c.buttons);
    EXPECT_EQ(fresh.dialogs[0].style, AlertStyle::informational);
  }
  EXPECT_FALSE(fs::exists(dir / "fetch.args"));
}

TEST_F(XplatCheck, ManualRouteShowsProgressAndLeavesTheImageToThePlayer) {
  cfg.env = {{"KALDRA_NO_SELF_UPDATE", "1"},
             {"KALDRA_TEST_NO_OPEN", "1"},
             {"KALDRA_XPLAT_FEED", "http://127.0.0.1:1/feed"}};
  std::string path = image();
  fetch(0, R"({"type":"progress","done":5000000,"total":20000000,"pct":25})"
           "\n"
           R"({"type":"progress","pct":50,"total":0})"
           "\n" +
               fileEvent(path));
  EXPECT_FALSE(xplatCheck(ui));

  EXPECT_EQ(readFile(dir / "fetch.args"), "xplat-fetch --state " + cfg.dataDir.string() +
                                              " --platform macos --lang en --json" + " --out " +
                                              (cfg.xplatDir / "download").string() +
                                              " --feed http://127.0.0.1:1/feed\n");
  EXPECT_EQ(readFile(cfg.logsDir / "updater-xplat.log"), "fetching\n");
  ASSERT_EQ(ui.statuses.size(), 4u);
  EXPECT_EQ(ui.statuses[0].progress, 0.0);
  EXPECT_EQ(ui.statuses[1].text, "Downloading 2.0");
  EXPECT_EQ(ui.statuses[1].progress, 25.0);
  EXPECT_EQ(ui.statuses[1].detail, "5 / 20 MB");
  EXPECT_EQ(ui.statuses[2].detail, "");
  EXPECT_EQ(ui.statuses[3].text, "Downloaded");
  EXPECT_TRUE(logged("xplat-fetch exit 0 file=" + path));
  EXPECT_TRUE(logged("test: would open " + path));
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message, "Opened.");
  EXPECT_EQ(ui.dialogs[1].buttons, Buttons{"Quit"});
}

TEST_F(XplatCheck, BadDownloadsEndInTheFailureDialog) {
  cfg.env = {{"KALDRA_NO_SELF_UPDATE", "1"}, {"KALDRA_TEST_NO_OPEN", "1"}};
  std::string folder = (cfg.xplatDir / "download").string();
  image("../escaped.dmg");
  struct Case {
    int status;
    std::string events;
  } cases[] = {
      {0, fileEvent(folder + "/../escaped.dmg")},
      {0, fileEvent(image("Kaldrith.DMG"))},
      {0, fileEvent(image()).substr(0, 40)},  // no line feed: never read
      {3, R"({"type":"error","user":"The server is gone."})"
          "\n" +
              fileEvent(image())},
  };
  for (const auto& c : cases) {
    FakeUI fresh;
    fetch(c.status, c.events);
    EXPECT_TRUE(xplatCheck(fresh)) << c.events;
    ASSERT_EQ(fresh.dialogs.size(), 2u);
    EXPECT_TRUE(fresh.dialogs[1].message.starts_with("Update failed: "));
    EXPECT_TRUE(
        fresh.dialogs[1].message.ends_with("\n" + (cfg.logsDir / "updater-xplat.log").string()));
    EXPECT_EQ(fresh.dialogs[1].buttons, Buttons{"Later"});
  }
  EXPECT_FALSE(logged("test: would open " + folder + "/../escaped.dmg"));
  EXPECT_TRUE(logged("xplat-fetch exit 3 file=" + image()));

  FakeUI required;
  check(0, R"({"update":true,"required":true,"offered":"2.0"})");
  EXPECT_FALSE(xplatCheck(required));
  EXPECT_EQ(required.dialogs[1].message,
            "Update failed: The server is gone.\n" + (cfg.logsDir / "updater-xplat.log").string());
  EXPECT_EQ(required.dialogs[1].buttons, Buttons{"Quit"});
}

TEST_F(XplatCheck, ImageOfTheWrongDigestIsNeverInstalled) {
  fetch(0, fileEvent(image(), std::string(64, 'A')));
  EXPECT_TRUE(xplatCheck(ui));
  EXPECT_TRUE(logged(
      "self-update failed before the exchange: package hash does not match the signed channel"));
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message,
            "Update failed: package hash does not match the signed channel\n" +
                (cfg.logsDir / "launcher.log").string());
  EXPECT_FALSE(fs::exists(cfg.xplatDir / ("mnt-" + std::to_string(::getpid()))));
}

TEST_F(XplatCheck, CopiesRunningFromTheBundlePostponeTheUpdate) {
  auto program = cfg.appBundle / "Contents/MacOS/sleep";
  fs::copy_file("/bin/sleep", program);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(program.c_str(), "sleep", "30", nullptr);
    ::_exit(127);
  }
  while (readFile("/proc/" + std::to_string(pid) + "/comm") != "sleep\n") ::usleep(1000);
  bool result = xplatCheck(ui);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(result);
  EXPECT_TRUE(logged("self-update postponed: Kaldrith is running from " + cfg.appBundle.string()));
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message, "Kaldrith is running.");
  EXPECT_EQ(ui.dialogs[1].buttons, Buttons{"Continue"});
  EXPECT_FALSE(fs::exists(dir / "fetch.args"));
}

}  // namespace
}  // namespace kaldra
