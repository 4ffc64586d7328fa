#include "updater/channel/key_chain.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/channel/channel.h"
#include "updater/channel/freshness.h"

namespace kaldra::update {

namespace {

// A hundred rotations of a publisher who never retires a key stay far below it.
constexpr std::size_t kChainLimit = 4 << 20;
constexpr std::size_t kStatementLimit = 64 << 10;

[[noreturn]] void damaged(const std::string& what) {
  throw UpdateError(FailureKind::manifest, "key chain: " + what);
}

[[noreturn]] void unsigned_(const std::string& what) {
  throw UpdateError(FailureKind::signature, "key chain: " + what);
}

std::string statementName(std::uint64_t number) {
  return "statement " + std::to_string(number);
}

bool signedBy(const ChainLink& link, const PublicKey& key) {
  return std::any_of(link.signatures.begin(), link.signatures.end(), [&](const auto& entry) {
    return entry.key == key && signatureMatches(link.statement, entry.signature, key);
  });
}

LinkSignature sign(const std::string& text, const std::string& privateKeyPem) {
  return {.key = publicKeyOf(privateKeyPem), .signature = signBytes(text, privateKeyPem)};
}

// The statement kept at `path` and its text; statement 0 when there is none, or it is
// damaged (it was checked before it was kept).
std::pair<KeyStatement, std::string> keptStatement(const std::filesystem::path& path) {
  if (auto bytes = readFile(path)) {
    try {
      return {parseKeyStatement(*bytes), *bytes};
    } catch (const UpdateError&) {
    }
  }
  return {builtInStatement(), ""};
}

}  // namespace

std::vector<ChainLink> parseKeyChain(std::string_view bytes) {
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  auto links = json.is_object() ? json.find("links") : json.end();
  if (!json.is_object() || links == json.end() || !links->is_array())
    damaged("not an object with an array of \"links\"");
  std::vector<ChainLink> chain;
  for (const auto& entry : *links) {
    auto statement = entry.is_object() ? entry.find("statement") : entry.end();
    auto signatures = entry.is_object() ? entry.find("signatures") : entry.end();
    if (!entry.is_object() || statement == entry.end() || !statement->is_string() ||
        signatures == entry.end() || !signatures->is_array())
      damaged("link " + std::to_string(chain.size() + 1) + " has no statement and signatures");
    ChainLink link{.statement = statement->get<std::string>()};
    for (const auto& signature : *signatures) {
      LinkSignature parsed{};
      auto key = signature.is_object() ? signature.find("key") : signature.end();
      auto text = signature.is_object() ? signature.find("signature") : signature.end();
      if (key == signature.end() || !key->is_string() || text == signature.end() ||
          !text->is_string() || !fromHex(key->get_ref<const std::string&>(), parsed.key))
        damaged("a signature of link " + std::to_string(chain.size() + 1) + " is malformed");
      parsed.signature = text->get<std::string>();
      link.signatures.push_back(std::move(parsed));
    }
    chain.push_back(std::move(link));
  }
  return chain;
}

std::string keyChainJson(const std::vector<ChainLink>& chain) {
  nlohmann::ordered_json links = nlohmann::ordered_json::array();
  for (const auto& link : chain) {
    nlohmann::ordered_json signatures = nlohmann::ordered_json::array();
    for (const auto& entry : link.signatures)
      signatures.push_back({{"key", toHex(entry.key)}, {"signature", entry.signature}});
    links.push_back({{"statement", link.statement}, {"signatures", std::move(signatures)}});
  }
  return nlohmann::ordered_json{{"links", std::move(links)}}.dump(1) + "\n";
}

KeyStatement walkKeyChain(const std::vector<ChainLink>& chain, const KeyStatement& from,
                          const std::string& fromText, std::string& newestText) {
  newestText = fromText;
  if (from.number > 0 && from.number <= chain.size() &&
      chain[from.number - 1].statement != fromText)
    unsigned_(statementName(from.number) + " is not the one this tool accepted before");
  KeyStatement current = from;
  for (std::size_t i = from.number; i < chain.size(); ++i) {
    const ChainLink& link = chain[i];
    KeyStatement next = parseKeyStatement(link.statement);
    if (next.number != i + 1)
      damaged("link " + std::to_string(i + 1) + " holds " + statementName(next.number));
    if (std::none_of(current.keys.begin(), current.keys.end(),
                     [&](const PublicKey& key) { return signedBy(link, key); }))
      unsigned_(statementName(next.number) + " is not signed by a key of " +
                statementName(current.number));
    for (const auto& key : next.keys)
      if (!current.lists(key) && !signedBy(link, key))
        unsigned_(statementName(next.number) + " adds a key that did not sign it");
    current = std::move(next);
    newestText = link.statement;
  }
  return current;
}

KeyStatement newestKeys(Transfer& transfer, const std::string& channel,
                        const NetworkSettings& settings, Deadline deadline,
                        const KeyStatement& from, const std::string& fromText,
                        std::string& newestText) {
  auto fetchOptional = [&](std::string_view name, std::size_t limit) -> std::optional<std::string> {
    try {
      return fetchMetadata(transfer, fileUrl(channel, name), limit, FailureKind::manifest, settings,
                           deadline);
    } catch (const TransferError& error) {
      if (!error.missing()) throw;
      return std::nullopt;
    }
  };
  if (auto chain = fetchOptional(kKeyChainName, kChainLimit))
    return walkKeyChain(parseKeyChain(*chain), from, fromText, newestText);
  // A channel whose keys were rotated by a tool before chains.
  newestText = fromText;
  auto lone = fetchOptional(kKeyStatementName, kStatementLimit);
  if (!lone) return from;
  auto offered = parseKeyStatement(*lone);
  if (offered.sequence <= from.sequence) return from;
  auto signature = fetchOptional(signatureFileName(kKeyStatementName), kStatementLimit);
  requireSignature(*lone, signature.value_or(""), from.keys, "key statement");
  newestText = *lone;
  return offered;
}

KeyStatement channelKeys(Transfer& transfer, const std::string& channel,
                         const NetworkSettings& settings, Deadline deadline,
                         const std::filesystem::path& kept) {
  auto [from, fromText] = keptStatement(kept);
  std::string newestText;
  auto head = newestKeys(transfer, channel, settings, deadline, from, fromText, newestText);
  if (newestText != fromText) writeFileDurably(kept, newestText);
  return head;
}

void requirePublishedUnder(const KeyStatement& head, std::uint64_t keys, const std::string& what) {
  if (keys > head.number)
    unsigned_(what + " claims " + statementName(keys) + ", but the chain ends at " +
              statementName(head.number));
}

KeyStatement publishedKeys(const std::filesystem::path& channel) {
  if (auto bytes = readFile(channel / kKeyChainName)) {
    auto chain = parseKeyChain(*bytes);
    if (chain.empty()) return builtInStatement();
    auto newest = parseKeyStatement(chain.back().statement);
    if (newest.number != chain.size())
      damaged("the last of " + std::to_string(chain.size()) + " links holds " +
              statementName(newest.number));
    return newest;
  }
  if (auto lone = readFile(channel / kKeyStatementName)) return parseKeyStatement(*lone);
  return builtInStatement();
}

void requireListedKey(const KeyStatement& head, std::string_view privateKeyPem) {
  if (head.lists(publicKeyOf(privateKeyPem))) return;
  throw UpdateError(FailureKind::other,
                    "the key is not one the channel's newest key statement (" +
                        statementName(head.number) +
                        ") lists, so every player would refuse what it signs: sign with a "
                        "listed key, or add this one first with rotate-key");
}

KeyStatement rotateKeys(const std::filesystem::path& channel, const std::string& signingPem,
                        const std::string& newPem, bool retire) {
  std::vector<ChainLink> chain;
  if (auto bytes = readFile(channel / kKeyChainName)) chain = parseKeyChain(*bytes);
  KeyStatement current = publishedKeys(channel);
  requireListedKey(current, signingPem);
  auto signing = publicKeyOf(signingPem), added = publicKeyOf(newPem);
  if (added == signing)
    throw UpdateError(FailureKind::other, "the new key is the signing key itself");
  KeyStatement next{.number = current.number + 1, .keys = current.keys};
  std::erase(next.keys, added);
  next.keys.push_back(added);
  if (retire) std::erase(next.keys, signing);
  // Tools before chains take a lone statement only with a higher sequence.
  auto previous = publishedFreshness(channel / kKeyStatementName).sequence;
  constexpr auto kLargest = std::numeric_limits<std::uint64_t>::max();
  next.sequence = std::max<std::uint64_t>(previous < kLargest ? previous + 1 : kLargest,
                                          static_cast<std::uint64_t>(unixNow()));
  auto text = keyStatementJson(next);
  chain.push_back({.statement = text, .signatures = {sign(text, signingPem), sign(text, newPem)}});
  makeDirectories(channel);
  writeFileDurably(channel / kKeyChainName, keyChainJson(chain));
  writeFileDurably(channel / signatureFileName(kKeyStatementName), signBytes(text, signingPem));
  writeFileDurably(channel / kKeyStatementName, text);
  return next;
}

}  // namespace kaldra::update
