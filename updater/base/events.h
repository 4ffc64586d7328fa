// The event stream of "prepare": one JSON object per line on standard output, read by the
// launcher while the tool runs.
//
//   {"type":"progress","pct":42,"label":"Downloading …","stage":"download","done":1,"total":9}
//   {"type":"error","kind":"network","user":"The update server can't be reached. …"}
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/base/progress_line.h"

namespace kaldra::update {

enum class Stage { manifest, scan, download, install, ready };

struct ByteProgress {
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};

class EventWriter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // json: the launcher's stream. lines: one readable line per event (into a pipe or a file).
  // terminal: progress redrawn in place on one line (ProgressLine), other events below it.
  enum class Style { json, lines, terminal };

  explicit EventWriter(std::ostream& out, Style style = Style::json,
                       Clock clock = std::chrono::steady_clock::now);

  // Writes a progress event, flushed at once, unless it adds too little: an event with the
  // same stage and label and the same whole percentage is held back until 100 ms have
  // passed since the last one written. `pct` is clamped to 0..100. Thread-safe.
  void progress(Stage stage, double pct, std::string_view label,
                std::optional<ByteProgress> bytes = std::nullopt);

  // Writes the "xplat-file" event that reports a downloaded launcher image. Thread-safe.
  void xplatFile(const std::string& path, const std::string& sha256, const std::string& version);

  // Writes an error event at once. Thread-safe.
  void error(FailureKind kind, std::string_view user);

 private:
  void write(const std::string& line);

  std::ostream& out_;
  Style style_;
  Clock clock_;
  ProgressLine line_;
  std::mutex mutex_;
  bool anyWritten_ = false;
  Stage lastStage_ = Stage::manifest;
  std::string lastLabel_;
  int lastPct_ = -1;
  std::chrono::steady_clock::time_point lastTime_;
};

}  // namespace kaldra::update
