// What the updater tool answers to the launcher-update commands: the result object of
// "xplat-check" and the events of "xplat-fetch".
//
//   auto result = parseCheckResult(output);   // no value: not a JSON object
//   FetchReport report;
//   readEventStream(source, report.handlers(onProgress));
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "update/event_stream.h"

namespace kaldra {

struct CheckResult {
  bool update = false;
  bool required = false;
  bool systemOk = true;
  std::string offered;
  std::string current;
  std::string minSystem;
};

// The six keys of the check's output; a key that is absent or of another JSON type
// keeps its default. No value when the output is not JSON or not an object.
std::optional<CheckResult> parseCheckResult(std::string_view output);

// `text` with "{new}", "{old}" and "{min}" replaced by the result's versions, in that
// order.
std::string fillPlaceholders(std::string text, const CheckResult& result);

// What a fetch reported about its file and its last error.
struct FetchReport {
  std::string error;
  std::string path;
  std::string sha256;
  std::string version;

  // Handlers for the fetch's event stream: "xplat-file" and "error" fill this report,
  // "progress" goes to `onProgress` with the event.
  updater::EventHandlers handlers(std::function<void(const updater::Event&)> onProgress);
};

}  // namespace kaldra
