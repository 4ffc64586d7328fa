// A long command's progress for a person at a terminal: one line redrawn in place, with a
// bar, the bytes, the rate and the time left.
//
//   [#########-----------]  48% Publishing  24.1 / 50.0 MB  8.2 MB/s  3 s left
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace kaldra::update {

class ProgressLine {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit ProgressLine(std::ostream& out, Clock clock = std::chrono::steady_clock::now);
  ~ProgressLine() { finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Redraws the line: at once for a new label, otherwise at most every 100 ms. Bytes are
  // shown when `total` is not 0; the rate and the time left once they can be told.
  // Thread-safe.
  void show(std::string_view label, double pct, std::uint64_t done = 0, std::uint64_t total = 0);

  // As show, with the share of `total` that `done` is as the percentage.
  void showBytes(std::string_view label, std::uint64_t done, std::uint64_t total) {
    show(label, total == 0 ? 100.0 : 100.0 * static_cast<double>(done) / static_cast<double>(total),
         done, total);
  }

  // Ends the line with a line feed, when one was drawn. Thread-safe.
  void finish();

 private:
  std::ostream& out_;
  Clock clock_;
  std::mutex mutex_;
  std::string label_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
  // Where the rate is counted from: the first bytes shown.
  std::optional<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>> start_;
};

}  // namespace kaldra::update
