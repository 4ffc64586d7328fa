// The narrow face the launch steps see of the user interface. The Qt status window
// implements it; unit tests fake it. Every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kaldra {

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

class UI {
 public:
  virtual ~UI() = default;

  // Shows a status: a progress in percent makes the bar determinate at that value, no
  // progress makes it indeterminate. Returns at once; updates apply in call order.
  virtual void set(const std::string& text, std::optional<double> progress,
                   const std::string& detail = "") = 0;

  // Shows a dialog titled "Kaldrith" and blocks the caller until it is answered. The
  // result is the chosen button's index, or a scripted answer, unchanged.
  virtual std::int64_t ask(const std::string& message, const std::vector<std::string>& buttons,
                           AlertStyle style = AlertStyle::warning) = 0;

  // Asks the application to terminate. Returns at once.
  virtual void quit() = 0;

  // Opens the logs folder in the file browser. Returns at once.
  virtual void openLogs() = 0;

  // Marks the game as started: from now on, closing the window leaves the launcher
  // running. Returns once it is marked.
  virtual void gameDidStart() = 0;

  // Brings the launcher back to the front (and the taskbar) for a dialog.
  virtual void bringToFront() = 0;

  // Hides the status window without closing it and leaves the taskbar. Returns at once.
  virtual void hideWhileGameRuns() = 0;

  // The pickup scan code for the game, worked out on the main thread.
  virtual std::optional<std::string> pickupScanCode() = 0;

  // Opens the application bundle at `app` as the system would. Returns at once.
  virtual void openApplication(const std::filesystem::path& app) = 0;
};

}  // namespace kaldra
