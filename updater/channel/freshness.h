// How new a signed manifest or launcher feed is: its sequence, which every publish raises,
// and until when it is current. The tool remembers, per channel, the highest sequence it
// has accepted, so that genuine but older data served again (a replay) or data held back
// past its time (a freeze) is refused instead of being taken for the channel's word.
//
//   {"sequence": 1765113600, "expires": "2027-01-06T12:00:00Z", ...}
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "updater/base/failure.h"

namespace kaldra::update {

struct Freshness {
  std::uint64_t sequence = 0;           // 0: published before sequences existed
  std::optional<std::int64_t> expires;  // Unix seconds; none: never
  bool operator==(const Freshness&) const = default;
};

// The members "sequence" and "expires" of a signed object, both optional. Throws
// UpdateError of `kind` when either is malformed.
Freshness readFreshness(const nlohmann::json& object, FailureKind kind);

// Adds the members to `object`, leaving out those without a value.
void writeFreshness(nlohmann::ordered_json& object, const Freshness& freshness);

// What the next publish into a channel says, `now` being the Unix time: a sequence above
// `previous` (the channel's current one, 0 for none) and no smaller than `now`, so that a
// channel published again from a fresh folder is newer too; current for `days` days.
Freshness nextFreshness(std::uint64_t previous, std::int64_t now, unsigned days);

// The sequence of the signed object (a manifest, feed or key statement) published at
// `path`; 0 when there is none, or it cannot be read.
std::uint64_t publishedSequence(const std::filesystem::path& path);

// Throws UpdateError (stale), naming `what`, when `offered` is older than the sequence
// `ledger` holds for `channel`, or has expired by `now`. A clock set before the tool was
// built is obviously wrong: expiry then counts for nothing, so that it never locks a
// player out. Nothing is written.
void requireFresh(const Freshness& offered, const std::filesystem::path& ledger,
                  const std::string& channel, const std::string& what, std::int64_t now);

// Records `offered`'s sequence for `channel` in `ledger` when it is higher than what is
// there, atomically (a temporary file renamed over it, so never through a link). Throws
// UpdateError (disk).
void rememberFresh(const Freshness& offered, const std::filesystem::path& ledger,
                   const std::string& channel);

// The Unix time now.
std::int64_t unixNow();

}  // namespace kaldra::update
