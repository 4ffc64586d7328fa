#include "updater/net/network_settings.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kaldra::update {

namespace {

std::optional<long> positiveNumber(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  std::string_view text(value);
  long number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 1) return std::nullopt;
  return number;
}

}  // namespace

NetworkSettings NetworkSettings::fromEnvironment() {
  NetworkSettings settings;
  if (auto seconds = positiveNumber("KALDRA_TEST_STALL_SECONDS"))
    settings.stallLimit = std::chrono::seconds(*seconds);
  if (auto pause = positiveNumber("KALDRA_TEST_RETRY_MS"))
    settings.firstPause = std::chrono::milliseconds(*pause);
  if (auto seconds = positiveNumber("KALDRA_TEST_METADATA_SECONDS"))
    settings.metadataLimit = std::chrono::seconds(*seconds);
  if (const char* ca = std::getenv("KALDRA_TEST_CA_FILE")) settings.extraCaFile = ca;
  return settings;
}

}  // namespace kaldra::update
