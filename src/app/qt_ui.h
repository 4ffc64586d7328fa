// The application delegate: owns the status window, runs the start of the launch and
// hands the long steps to a background thread, and serves them `set`, `ask`, `quit`
// and `openLogs`. Lives on the main thread.
#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/status_queue.h"
#include "core/ui.h"

namespace kaldra {

class StatusWindow;

// The application's icon from the bundle's resources.
QImage loadApplicationIcon();

class QtUI : public QObject, public UI {
  Q_OBJECT
 public:
  // `icon` is the application's icon, as loadApplicationIcon reads it.
  explicit QtUI(const QImage& icon = {});
  ~QtUI() override;

  // Loads the texts, shows the window, logs the start line, and starts the launch
  // sequence on its own thread.
  void applicationDidFinishLaunching();

  void set(const std::string& text, std::optional<double> progress,
           const std::string& detail = "") override;
  std::int64_t ask(const std::string& message, const std::vector<std::string>& buttons,
                   AlertStyle style = AlertStyle::warning) override;
  void quit() override;
  void openLogs() override;
  void gameDidStart() override;
  void bringToFront() override;
  void hideWhileGameRuns() override;
  std::optional<std::string> pickupScanCode() override;
  void openApplication(const std::filesystem::path& app) override;

  // Creates and shows the status window. Part of the launch; separate for tests.
  void createWindow();
  StatusWindow* window() const { return window_.get(); }

  // A message for the launch sequence to show first, left by the settling of an
  // exchanged bundle.
  std::optional<std::string> notice;

 private:
  void windowClosed();
  void drainStatus();
  // Runs `work` on the main thread and waits for it; directly when already there.
  void onMain(const std::function<void()>& work);

  QPixmap icon_;
  std::unique_ptr<StatusWindow> window_;
  bool gameStarted_ = false;  // main thread only
  std::string lastSnapText_;  // main thread only
  int snapshotsPending_ = 0;  // main thread only
  StatusQueue statusQueue_;
};

}  // namespace kaldra
