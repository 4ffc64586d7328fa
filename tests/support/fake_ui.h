// A UI for unit tests of the launch steps: records what the steps show and answers
// dialogs from a script. Thread-safe, as the steps may call it from any thread.
#pragma once

#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ui.h"

namespace kaldra::testing {

struct ShownStatus {
  std::string text;
  std::optional<double> progress;
  std::string detail;
  bool operator==(const ShownStatus&) const = default;
};

struct AskedDialog {
  std::string message;
  std::vector<std::string> buttons;
  AlertStyle style;
  bool operator==(const AskedDialog&) const = default;
};

class FakeUI : public UI {
 public:
  // Answers for the coming dialogs, in order; once used up, dialogs answer 0.
  std::deque<std::int64_t> answers;

  void set(const std::string& text, std::optional<double> progress,
           const std::string& detail = "") override {
    std::lock_guard lock(mutex_);
    statuses.push_back({text, progress, detail});
  }
  std::int64_t ask(const std::string& message, const std::vector<std::string>& buttons,
                   AlertStyle style = AlertStyle::warning) override {
    std::lock_guard lock(mutex_);
    dialogs.push_back({message, buttons, style});
    if (answers.empty()) return 0;
    std::int64_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void quit() override { record("quit"); }
  void openLogs() override { record("openLogs"); }
  void gameDidStart() override { record("gameDidStart"); }
  void bringToFront() override { record("bringToFront"); }
  void hideWhileGameRuns() override { record("hideWhileGameRuns"); }
  std::optional<std::string> pickupScanCode() override { return std::nullopt; }
  void openApplication(const std::filesystem::path& app) override {
    record("openApplication " + app.string());
  }

  std::vector<ShownStatus> statuses;
  std::vector<AskedDialog> dialogs;
  std::vector<std::string> calls;  // quit, openLogs, ... in call order

  std::vector<std::string> callsSnapshot() {
    std::lock_guard lock(mutex_);
    return calls;
  }

 private:
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls.push_back(std::move(call));
  }
  std::mutex mutex_;
};

}  // namespace kaldra::testing
