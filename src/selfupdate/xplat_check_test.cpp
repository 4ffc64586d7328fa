#include "selfupdate/xplat_check.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using namespace testing;
using Buttons = std::vector<std::string>;

// The updater tool is a script that answers with what the test put into its files.
class XplatCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.texts = {{"xplat_required_manual", "{old} may no longer run"},
                 {"xplat_system_too_old", "{new} needs {min}"},
                 {"xplat_update_available", "Update to {new}?"},
                 {"xplat_update_available_mac", "Download {new}?"},
                 {"xplat_update_required", "{old} is too old."}};
    cfg.dataDir = dir / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.xplatDir = cfg.dataDir / "xplat";
    cfg.appBundle = dir / "Kaldrith.app";
    cfg.appVersion = "1.0";
    cfg.updater = dir / "kaldra-update";
    fs::create_directories(cfg.logsDir);
    fs::create_directories(cfg.xplatDir / "download");
    std::ofstream(cfg.updater) << "#!/bin/sh\ncd '" << dir.path().string() << "'\n"
                               << "echo \"$*\" > $1.args; cat $1.out; exit $(cat $1.status)\n";
    fs::permissions(cfg.updater, fs::perms::owner_all);
    answer("xplat-check", 0, R"({"update":true,"offered":"2.0","current":"1.0"})");
    answer("xplat-fetch", 0, "");
  }

  void answer(const std::string& command, int status, const std::string& output) {
    std::ofstream(dir / (command + ".status")) << status;
    std::ofstream(dir / (command + ".out")) << output;
  }
  std::string image(const std::string& name) {
    std::ofstream(cfg.xplatDir / "download" / name) << "image";
    return (cfg.xplatDir / "download" / name).string();
  }
  static std::string fileEvent(const std::string& path) {
    return R"({"type":"xplat-file","path":")" + path + R"(","sha256":")" + std::string(64, 'a') +
           "\"}\n";
  }
  bool logged(const std::string& text) {
    return readFile(cfg.logsDir / "launcher.log").find(text) != std::string::npos;
  }

  TempDir dir;
  FakeUI ui;
};

TEST_F(XplatCheck, UnusableChecksAreLoggedAndPassedOver) {
  for (const auto& [status, output] :
       {std::pair{3, R"({"update":true})"}, {0, "not json"}, {0, "[true]"}, {-1, ""}}) {
    answer("xplat-check", status, output);
    if (status < 0) cfg.updater = dir / "missing-tool";
    EXPECT_TRUE(xplatCheck(ui));
    EXPECT_TRUE(logged("xplat-check exit " + std::to_string(status) + " (ignored)")) << output;
  }
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(XplatCheck, EachAnswerLeadsToItsDialog) {
  struct Case {
    std::string noSelfUpdate, answer, shown;
    bool result;
  } cases[] = {
      {"", R"("update":false})", "", true},
      {"", R"("update":false,"required":true})", "1.0 may no longer run [btn_quit]", false},
      {"", R"("update":true,"systemOk":false})", "2.0 needs 13 [btn_later]", true},
      {"", R"("update":true,"systemOk":false,"required":true})", "2.0 needs 13 [btn_quit]", false},
      {"0", R"("update":true})", "Update to 2.0? [btn_update_restart btn_later]", true},
      {"1", R"("update":true})", "Download 2.0? [btn_download btn_later]", true},
      {"", R"("update":true,"required":true})",
       "1.0 is too old.\n\nUpdate to 2.0? [btn_update_restart btn_quit]", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    FakeUI fresh;
    fresh.answers = {1};
    cfg.env["KALDRA_NO_SELF_UPDATE"] = c.noSelfUpdate;
    answer("xplat-check", 0, R"({"offered":"2.0","current":"1.0","minSystem":"13",)" + c.answer);
    EXPECT_EQ(xplatCheck(fresh), c.result);
    std::string shown;
    for (const auto& dialog : fresh.dialogs) {
      shown += dialog.message + " [";
      for (const auto& button : dialog.buttons) shown += button + " ";
      shown.back() = ']';
    }
    EXPECT_EQ(shown, c.shown);
  }
  EXPECT_FALSE(fs::exists(dir / "xplat-fetch.args"));
}

TEST_F(XplatCheck, ManualRouteShowsProgressAndLeavesTheImageToThePlayer) {
  cfg.env = {{"KALDRA_NO_SELF_UPDATE", "1"}, {"KALDRA_TEST_NO_OPEN", "1"}};
  std::string path = image("Kaldrith-2.0.dmg");
  answer("xplat-fetch", 0,
         R"({"type":"progress","done":5000000,"total":20000000,"pct":25})"
         "\n" +
             fileEvent(path));
  EXPECT_FALSE(xplatCheck(ui));
  ASSERT_GE(ui.statuses.size(), 2u);
  EXPECT_EQ(ui.statuses[1].text, "xplat_downloading 2.0");
  EXPECT_EQ(ui.statuses[1].progress, 25.0);
  EXPECT_EQ(ui.statuses[1].detail, "5 / 20 MB");
  EXPECT_TRUE(logged("test: would open " + path));
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message, "xplat_mac_opened");
}

TEST_F(XplatCheck, BadDownloadsEndInTheFailureDialog) {
  cfg.env = {{"KALDRA_NO_SELF_UPDATE", "1"}, {"KALDRA_TEST_NO_OPEN", "1"}};
  fs::create_directories(cfg.xplatDir / "download2");
  for (const char* name : {"../escaped.dmg", "../download2/x.dmg", "K.DMG"}) {
    FakeUI fresh;
    answer("xplat-fetch", 0, fileEvent(image(name)));
    EXPECT_TRUE(xplatCheck(fresh)) << name;
    ASSERT_EQ(fresh.dialogs.size(), 2u);
    EXPECT_TRUE(fresh.dialogs[1].message.starts_with("xplat_failed ")) << name;
    EXPECT_EQ(fresh.dialogs[1].buttons, Buttons{"btn_later"});
  }
  EXPECT_FALSE(logged("would open"));

  answer("xplat-check", 0, R"({"update":true,"required":true,"offered":"2.0"})");
  answer("xplat-fetch", 3,
         R"({"type":"error","user":"Gone."})"
         "\n" +
             fileEvent(image("K.dmg")));
  EXPECT_FALSE(xplatCheck(ui));
  EXPECT_EQ(ui.dialogs[1].message,
            "xplat_failed Gone.\n" + (cfg.logsDir / "updater-xplat.log").string());
  EXPECT_EQ(ui.dialogs[1].buttons, Buttons{"btn_quit"});
}

}  // namespace
}  // namespace kaldra
