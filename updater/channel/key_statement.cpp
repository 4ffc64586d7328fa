#include "updater/channel/key_statement.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "updater/base/failure.h"

namespace kaldra::update {

namespace {

[[noreturn]] void fault(const std::string& what) {
  throw UpdateError(FailureKind::manifest, "key statement: " + what);
}

}  // namespace

bool KeyStatement::lists(const PublicKey& key) const {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

KeyStatement parseKeyStatement(std::string_view bytes) {
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) fault("not a JSON object");
  auto sequence = json.find("sequence");
  if (sequence == json.end() || !sequence->is_number_unsigned() || *sequence == 0)
    fault("no positive \"sequence\"");
  KeyStatement statement{.sequence = sequence->get<std::uint64_t>()};
  if (auto number = json.find("number"); number != json.end()) {
    if (!number->is_number_unsigned()) fault("\"number\" is not a non-negative integer");
    statement.number = number->get<std::uint64_t>();
  }
  auto keys = json.find("keys");
  if (keys == json.end() || !keys->is_array() || keys->empty()) fault("no array of \"keys\"");
  for (const auto& key : *keys) {
    PublicKey parsed{};
    if (!key.is_string() || !fromHex(key.get_ref<const std::string&>(), parsed))
      fault("a key is not 64 hexadecimal digits");
    statement.keys.push_back(parsed);
  }
  return statement;
}

std::string keyStatementJson(const KeyStatement& statement) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const auto& key : statement.keys) keys.push_back(toHex(key));
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  if (statement.number > 0) json["number"] = statement.number;
  json["sequence"] = statement.sequence;
  json["keys"] = std::move(keys);
  return json.dump(1) + "\n";
}

KeyStatement builtInStatement() {
  return {.keys = {builtInPublicKey()}};
}

}  // namespace kaldra::update
