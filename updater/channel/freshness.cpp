#include "updater/channel/freshness.h"

#include <ctime>
#include <limits>

#include "updater/base/file_io.h"

namespace kaldra::update {

namespace {

std::string utcText(std::int64_t seconds) {
  std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  ::gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::optional<std::int64_t> utcSeconds(const std::string& text) {
  std::tm parts{};
  char end = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%c", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &end) != 6 ||
      text.size() != 20)
    return std::nullopt;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  std::tm normal = parts;
  std::time_t seconds = ::timegm(&normal);
  // Rejects dates such as February 30th, which timegm would quietly move on.
  if (normal.tm_mday != parts.tm_mday || normal.tm_mon != parts.tm_mon ||
      normal.tm_hour != parts.tm_hour)
    return std::nullopt;
  return static_cast<std::int64_t>(seconds);
}

// The highest sequence accepted per channel; an unreadable ledger holds nothing, so that a
// damaged file never locks a player out (it can only let an older sequence through once).
nlohmann::json readLedger(const std::filesystem::path& ledger) {
  auto json = nlohmann::json::parse(readFile(ledger).value_or(""), nullptr, false);
  return json.is_object() ? json : nlohmann::json::object();
}

// A channel's entry: a bare sequence (what tools before key statement numbers wrote, and
// what is still written under the built-in key), or {"keys": N, "sequence": S}.
Freshness accepted(const nlohmann::json& ledger, const std::string& channel) {
  auto it = ledger.find(channel);
  if (it == ledger.end()) return {};
  if (it->is_number_unsigned()) return {.sequence = it->get<std::uint64_t>()};
  try {
    return it->is_object() ? readFreshness(*it, FailureKind::other) : Freshness{};
  } catch (const UpdateError&) {
    return {};
  }
}

std::string describe(const Freshness& freshness) {
  return "sequence " + std::to_string(freshness.sequence) +
         (freshness.keys > 0 ? " under key statement " + std::to_string(freshness.keys) : "");
}

}  // namespace

Freshness readFreshness(const nlohmann::json& object, FailureKind kind) {
  Freshness freshness;
  for (auto [name, value] : {std::pair{"sequence", &freshness.sequence}, {"keys", &freshness.keys}})
    if (auto it = object.find(name); it != object.end()) {
      if (!it->is_number_unsigned())
        throw UpdateError(kind, "\"" + std::string(name) + "\" is not a non-negative integer");
      *value = it->get<std::uint64_t>();
    }
  if (auto it = object.find("expires"); it != object.end()) {
    freshness.expires = it->is_string() ? utcSeconds(it->get<std::string>()) : std::nullopt;
    if (!freshness.expires)
      throw UpdateError(kind, "\"expires\" is not a time such as 2027-01-06T12:00:00Z");
  }
  return freshness;
}

void writeFreshness(nlohmann::ordered_json& object, const Freshness& freshness) {
  if (freshness.keys > 0) object["keys"] = freshness.keys;
  if (freshness.sequence > 0) object["sequence"] = freshness.sequence;
  if (freshness.expires) object["expires"] = utcText(*freshness.expires);
}

Freshness nextFreshness(const Freshness& previous, std::uint64_t keys, std::int64_t now,
                        unsigned days) {
  if (previous.keys > keys)
    throw UpdateError(FailureKind::other,
                      "what the channel holds was published under key statement " +
                          std::to_string(previous.keys) + ", and its newest is " +
                          std::to_string(keys) + ": players would refuse anything older");
  constexpr auto kLargest = std::numeric_limits<std::uint64_t>::max();
  if (previous.keys == keys && previous.sequence == kLargest)
    throw UpdateError(FailureKind::other,
                      "what the channel holds has the largest sequence there is, so nothing "
                      "published under the same keys can be newer: retire the key that "
                      "signed it (rotate-key --retire), then publish again");
  std::uint64_t byClock = now > 0 ? static_cast<std::uint64_t>(now) : 0;
  // Tools that know no key statement numbers compare the sequence alone: keep raising it
  // while it can be raised.
  std::uint64_t raised = previous.sequence < kLargest ? previous.sequence + 1 : 0;
  return {.sequence = std::max({raised, byClock, std::uint64_t{1}}),
          .expires = now + static_cast<std::int64_t>(days) * 86400,
          .keys = keys};
}

Freshness publishedFreshness(const std::filesystem::path& path) {
  auto json = nlohmann::json::parse(readFile(path).value_or(""), nullptr, false);
  try {
    return json.is_object() ? readFreshness(json, FailureKind::other) : Freshness{};
  } catch (const UpdateError&) {
    return {};
  }
}

void requireFresh(const Freshness& offered, const std::filesystem::path& ledger,
                  const std::string& channel, const std::string& what, std::int64_t now) {
  Freshness before = accepted(readLedger(ledger), channel);
  if (before.newerThan(offered)) {
    throw UpdateError(FailureKind::stale, what + " of " + describe(offered) +
                                              " is older than the accepted " + describe(before));
  }
  bool clockPlausible = now >= KALDRA_BUILD_TIME;
  if (clockPlausible && offered.expires && *offered.expires <= now)
    throw UpdateError(FailureKind::stale, what + " expired at " + utcText(*offered.expires));
}

void rememberFresh(const Freshness& offered, const std::filesystem::path& ledger,
                   const std::string& channel) {
  auto json = readLedger(ledger);
  if (!offered.newerThan(accepted(json, channel))) return;
  if (offered.keys == 0) {
    json[channel] = offered.sequence;
  } else {
    json[channel] = {{"keys", offered.keys}, {"sequence", offered.sequence}};
  }
  writeFileDurably(ledger, json.dump() + "\n");
}

std::string utcDate(std::int64_t seconds) {
  return utcText(seconds).substr(0, 10);
}

std::int64_t unixNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace kaldra::update
