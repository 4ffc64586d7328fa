// The swap plan: the one small file through which the preparing launcher, the swap
// helper and the new launcher hand a bundle exchange on. Written atomically, never
// locked; a reader sees a whole old plan, a whole new one, or none.
//
//   auto plan = readPlan(cfg.swapPlanURL);
//   if (plan && plan->state == "swapped" && moveTo(*plan, "confirmed")) writePlan(*plan);
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kaldra {

namespace fs = std::filesystem;

struct SwapPlan {
  std::string op;           // "update" or "install"
  std::string from;         // version replaced; empty when there was none
  std::string to;           // version of the new bundle
  std::string source;       // bundle that was copied
  std::string target;       // bundle location replaced
  std::string staged;       // stageDir + "/Kaldrith.app"; the previous bundle after the exchange
  std::string stageDir;     // the staging folder
  std::int32_t pid = 0;     // the preparing launcher
  std::int32_t helper = 0;  // the swap helper, 0 until it has recorded itself
  std::string state;        // "staged", "swapped", "confirmed", "rolled-back" or "failed"
  std::string note;         // reason of a failure
  std::string utc;          // time of the last write, set by writePlan
  std::map<std::string, std::string> env;  // handed to the new launcher

  bool operator==(const SwapPlan&) const = default;
};

// Whether a plan in state `from` may be written next in state `to`. The exchange moves
// only forward: staged -> swapped -> confirmed / rolled-back, and to failed before a
// settled end; staged and confirmed may be written again.
bool legalMove(std::string_view from, std::string_view to);

// Sets `plan`'s state to `to` (and its note) when the move is legal; false, and the plan
// unchanged, otherwise.
bool moveTo(SwapPlan& plan, std::string_view to, std::string note = "");

// The plan as compact JSON with all thirteen keys.
std::string encodePlan(const SwapPlan& plan);

// The plan in `bytes`; no value unless it is one JSON object holding all thirteen keys
// with their exact JSON types and `pid` and `helper` within 32 bits. Other keys are
// ignored.
std::optional<SwapPlan> decodePlan(std::string_view bytes);

// The plan in the file; no value when it is missing, unreadable or does not decode.
std::optional<SwapPlan> readPlan(const fs::path& file);

// Writes `plan` with `utc` set to now, atomically, the file readable by its owner only
// from its first byte on; creates the folder (0700) when missing. Failures are ignored.
void writePlan(SwapPlan plan, const fs::path& file);

// Whether anything exists at `file`, whatever it holds.
bool readPlanExists(const fs::path& file);

}  // namespace kaldra
