// The Qt side headless: snapshots, dialogs with scripted answers, status updates.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <thread>

#include "app/dialog.h"
#include "app/qt_ui.h"
#include "app/snapshot.h"
#include "app/status_window.h"
#include "core/config.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

class QtSide : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg.snapDir = dir.path().string();
    cfg.snapCount = 0;
    cfg.testAnswers.clear();
  }
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static void spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  // Presses button `index` of the dialog that is open after `ms`.
  static void pressLater(int ms, int index) {
    QTimer::singleShot(ms, [index] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      box->buttons().at(index)->click();
    });
  }
  testing::TempDir dir;
  QPixmap icon;
};

TEST_F(QtSide, WindowSnapshotShowsTheTitleBarAndIsNumbered) {
  StatusWindow window(icon);
  window.show();
  snapshot(&window, "window");
  snapshot(&window, "window");
  std::string pid = std::to_string(getpid());
  EXPECT_EQ(files(), (std::vector<std::string>{"mac-01-" + pid + "-window.png",
                                               "mac-02-" + pid + "-window.png"}));
  QImage png(QString::fromStdString((dir.path() / files()[0]).string()));
  EXPECT_EQ(png.width(), 520);
  EXPECT_GT(png.height(), 170);  // the content and a title bar above it
}

TEST_F(QtSide, LongTextsGiveWayToAnEllipsisWhereItHurtsLeast) {
  StatusWindow window(icon);
  window.showStatus({"Short status", 5.0, "1 / 3 MB"});
  EXPECT_EQ(window.statusText(), "Short status");
  EXPECT_EQ(window.detailText(), "1 / 3 MB");

  std::string words;
  for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
  std::string path = "/home/player/" + std::string(300, 'x') + "/logs/updater.log";
  window.showStatus({words, std::nullopt, path});
  QString status = window.statusText(), detail = window.detailText();
  EXPECT_TRUE(status.startsWith("word0 word1")) << status.toStdString();
  EXPECT_TRUE(status.endsWith(QChar(0x2026))) << status.toStdString();
  EXPECT_TRUE(detail.startsWith("/home/player/")) << detail.toStdString();
  EXPECT_TRUE(detail.endsWith("updater.log")) << detail.toStdString();  // the end of a path matters
  EXPECT_TRUE(detail.contains(QChar(0x2026)));
}

TEST_F(QtSide, ProgressMakesTheBarDeterminateAndItsAbsenceBusy) {
  StatusWindow window(icon);
  window.showStatus({"Downloading", 42.0, ""});
  EXPECT_FALSE(window.bar().busy());
  EXPECT_EQ(window.bar().value(), 42);
  window.showStatus({"Verifying", std::nullopt, ""});
  EXPECT_TRUE(window.bar().busy());
  window.showStatus({"Ready", 100.0, ""});
  EXPECT_FALSE(window.bar().busy());
  EXPECT_EQ(window.bar().value(), 100);
  window.showStatus({"Odd", std::nan(""), ""});  // a broken value shows as 0, not as junk
  EXPECT_EQ(window.bar().value(), 0);
}

TEST_F(QtSide, NoSnapshotFolderNoFileAndNoCount) {
  cfg.snapDir.reset();
  StatusWindow window(icon);
  snapshot(&window, "window");
  snapshot(nullptr, "window");
  EXPECT_EQ(cfg.snapCount, 0);
  EXPECT_TRUE(files().empty());
}

TEST_F(QtSide, ScriptedAnswersAreTakenUnchangedInOrder) {
  cfg.testAnswers = {5, -2};
  EXPECT_EQ(runDialog("first", {"A", "B"}, AlertStyle::warning, icon), 5);
  EXPECT_EQ(runDialog("second", {"A"}, AlertStyle::critical, icon), -2);
  EXPECT_TRUE(cfg.testAnswers.empty());
  ASSERT_EQ(files().size(), 2u);
  EXPECT_TRUE(files()[1].ends_with("-dialog.png"));
}

TEST_F(QtSide, APersonAnsweringFirstLeavesTheScriptedAnswerForTheNextDialog) {
  cfg.testAnswers = {7};
  pressLater(100, 1);
  EXPECT_EQ(runDialog("question", {"Yes", "No"}, AlertStyle::informational, icon), 1);
  spin(1000);  // the cancelled timer must not fire into anything
  EXPECT_EQ(cfg.testAnswers, std::deque<std::int64_t>{7});
  EXPECT_TRUE(files().empty());
}

TEST_F(QtSide, ScriptedAnswersNeedNoSnapshotFolder) {
  cfg.snapDir.reset();
  cfg.testAnswers = {1};
  EXPECT_EQ(runDialog("question", {"Yes", "No"}, AlertStyle::warning, icon), 1);
}

// A termination request with a dialog open: the dialog ends with the way out.
TEST_F(QtSide, QuittingEndsAnOpenDialogWithItsLastButton) {
  cfg.snapDir.reset();
  QtUI ui;
  QTimer::singleShot(100, [&ui] { ui.quit(); });
  EXPECT_EQ(runDialog("question", {"Retry", "Open log", "Quit"}, AlertStyle::warning, icon), 2);
}

TEST_F(QtSide, StatusSnapshotsOncePerKindOfStatus) {
  QtUI ui;
  ui.createWindow();
  ui.set("Downloading files 1 MB", 10.0);
  ui.set("Downloading files 2 MB", 20.0);
  spin(500);
  ui.set("Verifying files", std::nullopt);
  spin(500);
  ui.set("Downloading files 3 MB", 30.0);
  spin(500);
  EXPECT_EQ(files().size(), 3u);
  EXPECT_EQ(ui.window()->statusText(), "Downloading files 3 MB");
}

TEST_F(QtSide, StatusThatChangesKindOnEveryUpdateKeepsFewPhotographsPending) {
  QtUI ui;
  ui.createWindow();
  QElapsedTimer rounds;
  rounds.start();
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 1000; ++i)
      ui.set((i % 2 ? "Checking file " : "Downloading file ") + std::to_string(i), 50.0);
    QApplication::processEvents();
  }
  // At most four photographs wait at a time, each 0.3 s: a slow machine frees more
  // places while the rounds run, a fast one none.
  auto allowed = 4u * static_cast<std::size_t>(rounds.elapsed() / 300 + 1);
  spin(500);
  EXPECT_GE(files().size(), 1u);
  EXPECT_LE(files().size(), allowed);
  EXPECT_EQ(ui.window()->statusText(), "Checking file 999");
}

TEST_F(QtSide, AskFromABackgroundThreadBlocksOnlyThatThread) {
  QtUI ui;
  cfg.testAnswers = {1};
  int answer = -100;
  std::thread background([&] { answer = ui.ask("from the background", {"A", "B"}); });
  spin(1500);  // the main loop stays free to run the dialog and its timer
  background.join();
  EXPECT_EQ(answer, 1);
}

// Runs the event loop until the application quits or a second has passed: true when
// something asked it to quit.
bool quitsWithinASecond() {
  QTimer::singleShot(1000, [] { QCoreApplication::exit(99); });
  return QApplication::exec() == 0;
}

TEST_F(QtSide, ClosingTheWindowBeforeTheGameStartQuits) {
  QtUI ui;
  ui.createWindow();
  QTimer::singleShot(50, [&ui] { ui.window()->close(); });
  EXPECT_TRUE(quitsWithinASecond());
}

TEST_F(QtSide, ClosingTheWindowAfterTheGameStartLeavesTheLauncherRunning) {
  QtUI ui;
  ui.createWindow();
  ui.gameDidStart();
  QTimer::singleShot(50, [&ui] { ui.window()->close(); });
  EXPECT_FALSE(quitsWithinASecond());
}

}  // namespace
}  // namespace kaldra

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
