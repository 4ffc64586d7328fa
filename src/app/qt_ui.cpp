#include "app/qt_ui.h"

#include <QApplication>
#include <QImageReader>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <thread>

#include "app/dialog.h"
#include "app/launch_steps.h"
#include "app/snapshot.h"
#include "app/status_window.h"
#include "core/config.h"
#include "core/launch_sequence.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "game/pickup_scan_code.h"
#include "platform/activation_policy.h"
#include "platform/machine.h"
#include "platform/open_application.h"
#include "platform/open_with_system.h"
#include "platform/plist_reader.h"
#include "swap/settle_swap.h"

namespace kaldra {

namespace {

constexpr int kSnapshotDelayMs = 300;
constexpr int kMaxPendingSnapshots = 4;

}  // namespace

QImage loadApplicationIcon() {
  auto info = platform::readPlistStrings(cfg.appBundle / "Contents/Info.plist");
  std::string file =
      info && info->contains("CFBundleIconFile") ? info->at("CFBundleIconFile") : "Kaldrith.png";
  // Named, and not guessed from the content: a guess loads every image plugin (and their
  // libraries) before the window can show, for a format the toolkit reads by itself.
  QImageReader reader(QString::fromStdString((cfg.res / file).string()), "png");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

QtUI::QtUI(const QImage& icon) : icon_(QPixmap::fromImage(icon)) {
  // Closing the last window is no reason to end: windowClosed decides, and the hidden
  // window of a running game is no window at all.
  QApplication::setQuitOnLastWindowClosed(false);
}

QtUI::~QtUI() = default;

void QtUI::applicationDidFinishLaunching() {
  loadTextTable();
  createWindow();
  log("start lang=" + cfg.lang + " data=" + cfg.dataDir.string() +
      " arch=" + (platform::isArm64Machine() ? "arm64" : "x86_64") + " version=" + cfg.appVersion +
      " app=" + cfg.appBundle.string());
  notice = settleSwap();
  // The sequence blocks in tools, sleeps and dialogs; quitting never waits for it.
  std::thread([this] { flow(*this, notice, productSteps(*this)); }).detach();
}

void QtUI::createWindow() {
  window_ = std::make_unique<StatusWindow>(icon_);
  connect(window_.get(), &StatusWindow::closedByUser, this, &QtUI::windowClosed);
  window_->show();
  // Placed once shown, when the frame the window system adds is known.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed = window_->frameGeometry();
    placed.moveCenter(screen->availableGeometry().center());
    window_->move(placed.topLeft());
  }
  platform::activateIgnoringOtherApps();
}

void QtUI::windowClosed() {
  if (!gameStarted_) quit();
}

void QtUI::set(const std::string& text, std::optional<double> progress, const std::string& detail) {
  if (statusQueue_.push({text, progress, detail}))
    QMetaObject::invokeMethod(this, &QtUI::drainStatus, Qt::QueuedConnection);
}

void QtUI::drainStatus() {
  for (const StatusUpdate& update : statusQueue_.takeAll()) {
    if (window_) window_->showStatus(update);
    std::string key = snapshotKey(update.text);
    if (key == lastSnapText_) continue;
    lastSnapText_ = key;
    // A stream that changes its kind on every event would pile up timers without end;
    // past a few, the photographs pending show the latest status anyway.
    if (snapshotsPending_ >= kMaxPendingSnapshots) continue;
    ++snapshotsPending_;
    QTimer::singleShot(kSnapshotDelayMs, this, [this] {
      --snapshotsPending_;
      snapshot(window_.get(), "window");
    });
  }
}

void QtUI::onMain(const std::function<void()>& work) {
  if (QThread::currentThread() == thread())
    work();
  else
    QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

std::int64_t QtUI::ask(const std::string& message, const std::vector<std::string>& buttons,
                       AlertStyle style) {
  std::int64_t answer = 0;
  onMain([&] { answer = runDialog(message, buttons, style, icon_); });
  return answer;
}

void QtUI::quit() {
  // Not QCoreApplication::quit: that first asks every window to close, and an open dialog
  // refuses. Exiting ends the dialog's loop too.
  QMetaObject::invokeMethod(
      qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void QtUI::openLogs() {
  // Not QDesktopServices: the headless display platform cannot open anything.
  QMetaObject::invokeMethod(
      this, [] { platform::openWithSystem(cfg.logsDir); }, Qt::QueuedConnection);
}

void QtUI::gameDidStart() {
  onMain([this] { gameStarted_ = true; });
}

void QtUI::bringToFront() {
  onMain([] {
    platform::setActivationPolicy(platform::ActivationPolicy::regular);
    platform::activateIgnoringOtherApps();
  });
}

void QtUI::hideWhileGameRuns() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        // The last look at the window, so that an automated run sees when it went.
        snapshot(window_.get(), "hiding");
        if (window_) window_->hide();
        platform::setActivationPolicy(platform::ActivationPolicy::accessory);
      },
      Qt::QueuedConnection);
}

std::optional<std::string> QtUI::pickupScanCode() {
  std::optional<std::string> code;
  onMain([&code] { code = macPickupScanCode(); });
  return code;
}

void QtUI::openApplication(const std::filesystem::path& app) {
  QMetaObject::invokeMethod(
      this, [app] { platform::openApplication(app); }, Qt::QueuedConnection);
}

}  // namespace kaldra
