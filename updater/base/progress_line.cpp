#include "updater/base/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kaldra::update {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kBarWidth = 20;

std::string megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bytes / 1e6);
  return text;
}

std::string duration(double seconds) {
  auto whole = static_cast<long>(std::ceil(seconds));
  if (whole < 60) return std::to_string(whole) + " s";
  if (whole < 3600) return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
  return std::to_string(whole / 3600) + " h " + std::to_string(whole % 3600 / 60) + " min";
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out, Clock clock) : out_(out), clock_(std::move(clock)) {}

void ProgressLine::show(std::string_view label, double pct, std::uint64_t done,
                        std::uint64_t total) {
  std::lock_guard lock(mutex_);
  auto now = clock_();
  bool newLabel = label != label_;
  if (!newLabel && drawn_ && now - lastDraw_ < kRedraw) return;
  if (newLabel && drawn_) out_ << "\n";  // the finished stage stays readable above
  label_ = label;
  lastDraw_ = now;
  drawn_ = true;

  pct = std::clamp(pct, 0.0, 100.0);
  int filled = static_cast<int>(pct / 100 * kBarWidth);
  std::string line = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3.0f%% ", std::floor(pct));
  line += percent + std::string(label);
  if (total > 0) {
    line += "  " + megabytes(done) + " / " + megabytes(total) + " MB";
    if (!start_ || done < start_->second) start_ = {now, done};
    double seconds = std::chrono::duration<double>(now - start_->first).count();
    double rate = seconds > 0.5 ? (done - start_->second) / seconds : 0;
    if (rate > 0)
      line += "  " + megabytes(rate) + " MB/s  " +
              duration((total - std::min(done, total)) / rate) + " left";
  }
  out_ << line << "\x1b[K" << std::flush;  // clears what a longer line left
}

void ProgressLine::finish() {
  std::lock_guard lock(mutex_);
  if (drawn_) out_ << "\n" << std::flush;
  drawn_ = false;
  label_.clear();
}

}  // namespace kaldra::update
