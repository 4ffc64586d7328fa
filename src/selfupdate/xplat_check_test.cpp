#include "selfupdate/xplat_check.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fake_ui.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

using namespace testing;

// The updater tool is a script that answers with what the test put into its files.
class XplatCheck : public SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    cfg.appBundle = dir / "Kaldrith.app";
    cfg.updater = dir / "kaldra-update";
    fs::create_directories(cfg.xplatDir / "download");
    std::ofstream(cfg.updater) << "#!/bin/sh\ncd '" << dir.path().string() << "'\n"
                               << "echo \"$*\" > $1.args; cat $1.out; exit $(cat $1.status)\n";
    fs::permissions(cfg.updater, fs::perms::owner_all);
  }

  void answer(const std::string& command, int status, const std::string& output) {
    std::ofstream(dir / (command + ".status")) << status;
    std::ofstream(dir / (command + ".out")) << output;
  }
  std::string image(const std::string& name) {
    std::ofstream(cfg.xplatDir / "download" / name) << "image";
    return (cfg.xplatDir / "download" / name).string();
  }
  // The dialogs shown, one "message [buttons]" each.
  static std::string shown(const FakeUI& ui) {
    std::string text;
    for (const auto& dialog : ui.dialogs) {
      text += (text.empty() ? "" : "; ") + dialog.message + " [";
      for (const auto& button : dialog.buttons) text += button + " ";
      text.back() = ']';
    }
    return text;
  }
  bool logged(const std::string& text) {
    return readFile(cfg.logsDir / "launcher.log").find(text) != std::string::npos;
  }
};

TEST_F(XplatCheck, EachAnswerLeadsToItsDialogAndUnusableOnesArePassedOver) {
  struct Case {
    int status;
    std::string noSelfUpdate, output, shown;
    bool result;
  } cases[] = {
      {0, "", R"({"update":false,"required":true})", "xplat_required_manual [btn_quit]", false},
      {0, "", R"({"update":true,"systemOk":false,"required":true})",
       "xplat_system_too_old [btn_quit]", false},
      {0, "1", R"({"update":true})", "xplat_update_available_mac [btn_download btn_later]", true},
      {0, "", R"({"update":true,"required":true})",
       "xplat_update_required\n\nxplat_update_available [btn_update_restart btn_quit]", false},
      // Unusable checks are logged and passed over.
      {3, "", R"({"update":true})", "", true},
      {0, "", "not json", "", true},
      {0, "", "[true]", "", true},
      {-1, "", "", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    SetUp();
    FakeUI ui;
    ui.answers = {1};
    cfg.env["KALDRA_NO_SELF_UPDATE"] = c.noSelfUpdate;
    answer("xplat-check", c.status, c.output);
    if (c.status < 0) cfg.updater = dir / "missing-tool";
    EXPECT_EQ(xplatCheck(ui), c.result);
    EXPECT_EQ(shown(ui), c.shown);
    EXPECT_EQ(logged("xplat-check exit " + std::to_string(c.status) + " (ignored)"),
              c.shown.empty());
    EXPECT_FALSE(fs::exists(dir / "xplat-fetch.args"));
  }
}

// Another copy runs from the bundle: the update waits, and a required one lets nothing go on.
TEST_F(XplatCheck, AnUpdateBlockedByARunningCopyQuitsOnlyWhenRequired) {
  fs::create_directories(cfg.appBundle / "Contents/MacOS");
  fs::copy_file("/bin/sleep", cfg.appBundle / "Contents/MacOS/Kaldrith");
  RunningProgram copy((cfg.appBundle / "Contents/MacOS/Kaldrith").string(), {"60"});
  for (bool required : {false, true}) {
    FakeUI ui;
    answer("xplat-check", 0,
           required ? R"({"update":true,"required":true})" : R"({"update":true})");
    EXPECT_EQ(xplatCheck(ui), !required);
    EXPECT_EQ(ui.dialogs.back().buttons,
              std::vector<std::string>{required ? "btn_quit" : "btn_continue"});
    EXPECT_TRUE(logged("self-update postponed: Kaldrith is running from "));
  }
}

// The manual route opens only an image inside the download folder; else the failure dialog.
TEST_F(XplatCheck, ManualDownloadOpensOnlyAnImageInTheDownloadFolder) {
  cfg.env = {{"KALDRA_NO_SELF_UPDATE", "1"}, {"KALDRA_TEST_NO_OPEN", "1"}};
  fs::create_directories(cfg.xplatDir / "download2");
  fs::create_symlink(image("../escaped.dmg"), cfg.xplatDir / "download/link.dmg");
  const std::string failed = "xplat_failed \n" + (cfg.logsDir / "updater-xplat.log").string();
  const std::string progress = R"({"type":"progress","done":5000000,"total":20000000,"pct":25})";
  for (const std::string file :
       {"Kaldrith-2.0.dmg", "../escaped.dmg", "link.dmg", "../download2/x.dmg", "K.DMG"}) {
    SCOPED_TRACE(file);
    FakeUI ui;
    const bool opened = file == "Kaldrith-2.0.dmg";
    answer("xplat-check", 0, R"({"update":true,"offered":"2.0"})");
    std::string path =
        file == "link.dmg" ? (cfg.xplatDir / "download/link.dmg").string() : image(file);
    answer("xplat-fetch", 0, progress + "\n{\"type\":\"xplat-file\",\"path\":\"" + path + "\"}\n");
    EXPECT_EQ(xplatCheck(ui), !opened);
    EXPECT_EQ(shown(ui), "xplat_update_available_mac [btn_download btn_later]; " +
                             (opened ? "xplat_mac_opened [btn_quit]" : failed + " [btn_later]"));
    EXPECT_EQ(logged("test: would open " + path), opened);
    EXPECT_EQ(ui.statuses.at(1), (ShownStatus{"xplat_downloading 2.0", 25.0, "5 / 20 MB"}));
  }
}

}  // namespace
}  // namespace kaldra
