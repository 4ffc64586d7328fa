#include "updater/base/events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace kaldra::update {

namespace {

const char* stageName(Stage stage) {
  switch (stage) {
    case Stage::manifest:
      return "manifest";
    case Stage::scan:
      return "scan";
    case Stage::download:
      return "download";
    case Stage::install:
      return "install";
    case Stage::ready:
      return "ready";
  }
  return "ready";
}

constexpr auto kQuietPeriod = std::chrono::milliseconds(100);

}  // namespace

EventWriter::EventWriter(std::ostream& out, Style style, Clock clock)
    : out_(out), style_(style), clock_(clock), line_(out, clock) {}

void EventWriter::progress(Stage stage, double pct, std::string_view label,
                           std::optional<ByteProgress> bytes) {
  if (style_ == Style::terminal) {
    line_.show(label, pct, bytes ? bytes->done : 0, bytes ? bytes->total : 0);
    if (stage == Stage::ready) line_.finish();
    return;
  }
  int whole = static_cast<int>(std::floor(std::clamp(pct, 0.0, 100.0)));
  std::lock_guard lock(mutex_);
  auto now = clock_();
  bool news = !anyWritten_ || stage != lastStage_ || label != lastLabel_ || whole != lastPct_;
  if (!news && now - lastTime_ < kQuietPeriod) return;
  anyWritten_ = true;
  lastStage_ = stage;
  lastLabel_ = label;
  lastPct_ = whole;
  lastTime_ = now;

  if (style_ == Style::lines) {
    char line[64] = "";
    if (bytes)
      std::snprintf(line, sizeof line, " (%.0f / %.0f MB)", bytes->done / 1e6, bytes->total / 1e6);
    write("[" + std::to_string(whole) + "%] " + std::string(label) + line + "\n");
    return;
  }
  nlohmann::ordered_json event{
      {"type", "progress"}, {"pct", whole}, {"label", label}, {"stage", stageName(stage)}};
  if (bytes) {
    event["done"] = bytes->done;
    event["total"] = bytes->total;
  }
  write(event.dump() + "\n");
}

void EventWriter::error(FailureKind kind, std::string_view user) {
  line_.finish();
  std::lock_guard lock(mutex_);
  if (style_ != Style::json) {
    write("error (" + std::string(kindName(kind)) + "): " + std::string(user) + "\n");
    return;
  }
  nlohmann::ordered_json event{{"type", "error"}, {"kind", kindName(kind)}, {"user", user}};
  write(event.dump() + "\n");
}

void EventWriter::xplatFile(const std::string& path, const std::string& sha256,
                            const std::string& version) {
  line_.finish();
  std::lock_guard lock(mutex_);
  if (style_ != Style::json) {
    write("downloaded " + version + " to " + path + " (SHA-256 " + sha256 + ")\n");
    return;
  }
  nlohmann::ordered_json event{
      {"type", "xplat-file"}, {"path", path}, {"sha256", sha256}, {"version", version}};
  write(event.dump() + "\n");
}

void EventWriter::write(const std::string& line) {
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
}

}  // namespace kaldra::update
