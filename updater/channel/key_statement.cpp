#include "updater/channel/key_statement.h"

#include <nlohmann/json.hpp>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/channel/channel.h"
#include "updater/channel/freshness.h"

namespace kaldra::update {

namespace {

[[noreturn]] void fault(const std::string& what) {
  throw UpdateError(FailureKind::manifest, "key statement: " + what);
}

}  // namespace

KeyStatement parseKeyStatement(std::string_view bytes) {
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) fault("not a JSON object");
  auto sequence = json.find("sequence");
  if (sequence == json.end() || !sequence->is_number_unsigned() || *sequence == 0)
    fault("no positive \"sequence\"");
  auto keys = json.find("keys");
  if (keys == json.end() || !keys->is_array() || keys->empty()) fault("no array of \"keys\"");
  KeyStatement statement{.sequence = sequence->get<std::uint64_t>()};
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
  nlohmann::ordered_json json{{"sequence", statement.sequence}, {"keys", std::move(keys)}};
  return json.dump(1) + "\n";
}

std::vector<PublicKey> trustedKeys(const std::filesystem::path& kept) {
  if (auto bytes = readFile(kept)) {
    try {
      return parseKeyStatement(*bytes).keys;
    } catch (const UpdateError&) {
      // Kept only once checked: a damaged copy falls back to the first root.
    }
  }
  return {builtInPublicKey()};
}

void acceptKeyStatement(const std::optional<std::string>& bytes, const std::string& signature,
                        const std::filesystem::path& kept) {
  if (!bytes) return;
  KeyStatement offered = parseKeyStatement(*bytes);
  std::uint64_t current = 0;
  if (auto keptBytes = readFile(kept)) {
    try {
      current = parseKeyStatement(*keptBytes).sequence;
    } catch (const UpdateError&) {
    }
  }
  // The kept statement, still in the channel, may have been signed by a key it retired.
  if (offered.sequence <= current) return;
  requireSignature(*bytes, signature, trustedKeys(kept), "key statement");
  writeFileDurably(kept, *bytes);
}

std::vector<PublicKey> channelKeys(Transfer& transfer, const std::string& channel,
                                   const NetworkSettings& settings, Deadline deadline,
                                   const std::filesystem::path& kept) {
  constexpr std::size_t kLimit = 64 << 10;
  auto fetchOptional = [&](const std::string& name) -> std::optional<std::string> {
    try {
      return fetchMetadata(transfer, fileUrl(channel, name), kLimit, FailureKind::manifest,
                           settings, deadline);
    } catch (const TransferError& error) {
      if (!error.missing()) throw;
      return std::nullopt;
    }
  };
  auto statement = fetchOptional(std::string(kKeyStatementName));
  if (statement) {
    auto signature = fetchOptional(signatureFileName(kKeyStatementName));
    acceptKeyStatement(statement, signature.value_or(""), kept);
  }
  return trustedKeys(kept);
}

KeyStatement rotateKeys(const std::filesystem::path& channel, const std::string& signingPem,
                        const std::string& newPem, bool retire) {
  KeyStatement statement{.keys = {publicKeyOf(signingPem)}};
  if (auto kept = readFile(channel / kKeyStatementName))
    statement.keys = parseKeyStatement(*kept).keys;
  std::erase(statement.keys, publicKeyOf(newPem));
  statement.keys.push_back(publicKeyOf(newPem));
  if (retire) std::erase(statement.keys, publicKeyOf(signingPem));
  statement.sequence =
      nextFreshness(publishedSequence(channel / kKeyStatementName), unixNow(), 0).sequence;
  auto bytes = keyStatementJson(statement);
  makeDirectories(channel);
  writeFileDurably(channel / signatureFileName(kKeyStatementName), signBytes(bytes, signingPem));
  writeFileDurably(channel / kKeyStatementName, bytes);
  return statement;
}

}  // namespace kaldra::update
