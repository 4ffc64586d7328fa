#include "updater/channel/freshness.h"

#include <ctime>

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

std::uint64_t acceptedSequence(const nlohmann::json& ledger, const std::string& channel) {
  auto it = ledger.find(channel);
  return it != ledger.end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : 0;
}

}  // namespace

Freshness readFreshness(const nlohmann::json& object, FailureKind kind) {
  Freshness freshness;
  if (auto it = object.find("sequence"); it != object.end()) {
    if (!it->is_number_unsigned())
      throw UpdateError(kind, "\"sequence\" is not a non-negative integer");
    freshness.sequence = it->get<std::uint64_t>();
  }
  if (auto it = object.find("expires"); it != object.end()) {
    freshness.expires = it->is_string() ? utcSeconds(it->get<std::string>()) : std::nullopt;
    if (!freshness.expires)
      throw UpdateError(kind, "\"expires\" is not a time such as 2027-01-06T12:00:00Z");
  }
  return freshness;
}

void writeFreshness(nlohmann::ordered_json& object, const Freshness& freshness) {
  if (freshness.sequence > 0) object["sequence"] = freshness.sequence;
  if (freshness.expires) object["expires"] = utcText(*freshness.expires);
}

Freshness nextFreshness(std::uint64_t previous, std::int64_t now, unsigned days) {
  std::uint64_t byClock = now > 0 ? static_cast<std::uint64_t>(now) : 0;
  return {.sequence = std::max(previous + 1, byClock),
          .expires = now + static_cast<std::int64_t>(days) * 86400};
}

std::uint64_t publishedSequence(const std::filesystem::path& path) {
  auto json = nlohmann::json::parse(readFile(path).value_or(""), nullptr, false);
  try {
    return json.is_object() ? readFreshness(json, FailureKind::other).sequence : 0;
  } catch (const UpdateError&) {
    return 0;
  }
}

void requireFresh(const Freshness& offered, const std::filesystem::path& ledger,
                  const std::string& channel, const std::string& what, std::int64_t now) {
  std::uint64_t accepted = acceptedSequence(readLedger(ledger), channel);
  if (offered.sequence < accepted) {
    throw UpdateError(FailureKind::stale,
                      what + " of sequence " + std::to_string(offered.sequence) +
                          " is older than the accepted " + std::to_string(accepted));
  }
  bool clockPlausible = now >= KALDRA_BUILD_TIME;
  if (clockPlausible && offered.expires && *offered.expires <= now)
    throw UpdateError(FailureKind::stale, what + " expired at " + utcText(*offered.expires));
}

void rememberFresh(const Freshness& offered, const std::filesystem::path& ledger,
                   const std::string& channel) {
  auto json = readLedger(ledger);
  if (offered.sequence <= acceptedSequence(json, channel)) return;
  json[channel] = offered.sequence;
  writeFileDurably(ledger, json.dump() + "\n");
}

std::int64_t unixNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace kaldra::update
