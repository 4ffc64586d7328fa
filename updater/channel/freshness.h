// How new a signed manifest or launcher feed is: the number of the key statement it was
// published under, its sequence, which every publish raises, and until when it is current.
// The tool remembers, per channel, the newest it has accepted, so that genuine but older
// data served again (a replay) or data held back past its time (a freeze) is refused
// instead of being taken for the channel's word. A new key statement outranks every
// sequence before it: a publisher recovers from a sequence no publish can exceed (signed
// by mistake, or with a leaked key) by retiring that key and publishing again.
//
//   {"keys": 3, "sequence": 1765113600, "expires": "2027-01-06T12:00:00Z", ...}
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
  std::uint64_t keys = 0;               // the key statement's number; 0: the built-in key's
  bool operator==(const Freshness&) const = default;
  // Newer: under a later key statement, or under the same one with a higher sequence.
  bool newerThan(const Freshness& other) const {
    return keys != other.keys ? keys > other.keys : sequence > other.sequence;
  }
};

// The members "keys", "sequence" and "expires" of a signed object, all optional. Throws
// UpdateError of `kind` when one is malformed.
Freshness readFreshness(const nlohmann::json& object, FailureKind kind);

// Adds the members to `object`, leaving out those without a value.
void writeFreshness(nlohmann::ordered_json& object, const Freshness& freshness);

// What the next publish into a channel says under key statement `keys`, `now` being the Unix
// time: a sequence above `previous`'s (what the channel holds now, all 0 for nothing) and
// no smaller than `now`, so that a channel published again from a fresh folder is newer
// too; current for `days` days. Throws UpdateError (other) rather than go back: when
// `previous` is under a later statement than `keys`, or its sequence cannot be exceeded
// under the same one (the message says how to recover).
Freshness nextFreshness(const Freshness& previous, std::uint64_t keys, std::int64_t now,
                        unsigned days);

// The freshness of the signed object (a manifest, feed or key statement) published at
// `path`; all 0 when there is none, or it cannot be read.
Freshness publishedFreshness(const std::filesystem::path& path);

// Throws UpdateError (stale), naming `what`, when `offered` is older than what `ledger`
// holds for `channel`, or has expired by `now`. A clock set before the tool was
// built is obviously wrong: expiry then counts for nothing, so that it never locks a
// player out. Nothing is written.
void requireFresh(const Freshness& offered, const std::filesystem::path& ledger,
                  const std::string& channel, const std::string& what, std::int64_t now);

// Records `offered` for `channel` in `ledger` when it is newer than what is there, atomically (a
// temporary file renamed over it, so never through a link). Throws UpdateError (disk).
void rememberFresh(const Freshness& offered, const std::filesystem::path& ledger,
                   const std::string& channel);

// The day of a Unix time, as YYYY-MM-DD (UTC).
std::string utcDate(std::int64_t seconds);

// The Unix time now.
std::int64_t unixNow();

}  // namespace kaldra::update
