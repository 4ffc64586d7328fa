// The Qt side headless: snapshots, dialogs with scripted answers, status updates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "app/dialog.h"
#include "app/qt_ui.h"
#include "app/status_window.h"
#include "core/config.h"
#include "tests/support/temp_dir.h"
#include "updater/texts/launcher_texts.h"
#include "updater/texts/messages.h"

namespace kaldra {
namespace {

class QtSide : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg.snapDir = dir.path().string();
    cfg.snapCount = 0;
  }
  size_t files() {
    auto entries = std::filesystem::directory_iterator(dir.path());
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
  }
  testing::TempDir dir;
  QPixmap icon;
};

// Every status, in every language, fits the label's two lines uncut, no ellipsis alone.
TEST_F(QtSide, EveryStatusTextFitsTheLabelInEveryLanguage) {
  StatusWindow window(icon);
  for (std::size_t language = 0; language < update::kLanguageCodes.size(); ++language) {
    std::vector<std::string> statuses;
    for (const auto& row : update::launcherTexts()) {
      const std::string key(row.key);
      if (key.starts_with("stage_") || key == "prefix_setup" || key == "starting" ||
          key == "rosetta_wait" || key == "mac_installing" || key == "xplat_done" ||
          key == "xplat_downloaded" || key == "xplat_installing" || key == "xplat_downloading")
        statuses.emplace_back(row.text[language]);
      if (key == "xplat_downloading") statuses.back() += " 10.10.10";
    }
    for (int m = 0; m <= static_cast<int>(update::Message::readyUpdated); ++m)
      statuses.emplace_back(update::message(static_cast<update::Message>(m),
                                            static_cast<update::Language>(language)));
    // The first status reads as the built-in table has it, an ordinary space before its
    // ellipsis; it is short enough never to wrap.
    const std::string first(
        update::launcherText("stage_manifest", static_cast<update::Language>(language)));
    for (const auto& text : statuses) {
      window.showStatus({text, std::nullopt, ""});
      EXPECT_EQ(window.statusText().toStdString(), text) << update::kLanguageCodes[language];
      EXPECT_TRUE(text.find(" \u2026") == std::string::npos || text == first) << text;
    }
  }
}

// A termination request with a dialog open ends the dialog with its way out.
TEST_F(QtSide, DialogsTakeScriptedAnswersInOrderOrEndWithTheirLastButtonOnQuit) {
  cfg.testAnswers = {5, -2};
  EXPECT_EQ(runDialog("first", {"A", "B"}, AlertStyle::warning, icon), 5);
  EXPECT_EQ(runDialog("second", {"A"}, AlertStyle::critical, icon), -2);
  EXPECT_EQ(files(), 2u);
  cfg.snapDir.reset();
  cfg.testAnswers = {1};
  EXPECT_EQ(runDialog("question", {"Yes", "No"}, AlertStyle::warning, icon), 1);
  EXPECT_TRUE(cfg.testAnswers.empty());
  EXPECT_EQ(files(), 2u);
  QtUI ui;
  QTimer::singleShot(100, [&ui] { ui.quit(); });
  EXPECT_EQ(runDialog("question", {"Retry", "Open log", "Quit"}, AlertStyle::warning, icon), 2);
}

TEST_F(QtSide, ClosingTheWindowQuitsOnlyBeforeTheGameStart) {
  for (bool started : {false, true}) {
    SCOPED_TRACE(started ? "after" : "before");
    QtUI ui;
    ui.createWindow();
    EXPECT_EQ(ui.window()->frameGeometry().center(),
              QGuiApplication::primaryScreen()->availableGeometry().center());
    if (started) ui.gameDidStart();
    QTimer::singleShot(50, [&ui] { ui.window()->close(); });
    QTimer::singleShot(1000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec() == 0, !started);  // 0: something asked it to quit
  }
}

}  // namespace
}  // namespace kaldra

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
