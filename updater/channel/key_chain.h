// The channel's key chain: every key statement the channel ever had, in order, so that a
// player who trusts any one of them (a fresh install trusts the key built into the tool)
// can walk to the newest, however many rotations lie between.
//
//   key-chain.json  {"links": [{"statement": "<statement 1's exact text>",
//                               "signatures": [{"key": "<hex>", "signature": "<hex>"}, ...]},
//                              ...]}
//
// Link N holds statement N. Its signatures are over the statement's exact text: one by a key
// of statement N-1, and one by every key that statement N adds, so that a statement can never
// name a key nobody holds. Links are only ever appended.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/key_statement.h"
#include "updater/net/metadata_fetch.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

inline constexpr std::string_view kKeyChainName = "key-chain.json";

struct LinkSignature {
  PublicKey key;          // who signed: only this key's signature is checked
  std::string signature;  // as in a companion file
  bool operator==(const LinkSignature&) const = default;
};

struct ChainLink {
  std::string statement;  // the exact text that was signed
  std::vector<LinkSignature> signatures;
  bool operator==(const ChainLink&) const = default;
};

// Throws UpdateError (manifest) for a chain that is not an object with an array of links,
// each a statement text and an array of signatures naming their keys.
std::vector<ChainLink> parseKeyChain(std::string_view bytes);
std::string keyChainJson(const std::vector<ChainLink>& chain);

// The newest statement reached from `from` (whose text is `fromText`; empty for statement
// 0) along `chain`; `newestText` receives its text. A chain that ends before `from`
// changes nothing. Throws UpdateError: manifest for a link that does not parse or whose
// number is not its place; signature for a link that the statement before it did not sign,
// that adds a key which did not sign it, or a chain whose link `from.number` is not `fromText`.
KeyStatement walkKeyChain(const std::vector<ChainLink>& chain, const KeyStatement& from,
                          const std::string& fromText, std::string& newestText);

// The newest statement of `channel` reached from `from` (text `fromText`, empty for
// statement 0) along its chain, with its text in `newestText`; nothing is written. A channel
// without a chain may still offer a lone keys.json, as tools before chains wrote it: taken
// when it is newer and a key of `from` signed it. Throws as walkKeyChain, and TransferError.
KeyStatement newestKeys(Transfer& transfer, const std::string& channel,
                        const NetworkSettings& settings, Deadline deadline,
                        const KeyStatement& from, const std::string& fromText,
                        std::string& newestText);

// The keys trusted for `channel` now: the newest statement reached from the one kept at
// `kept` (statement 0 when none is kept, or it cannot be read) along the channel's chain,
// which is kept in its place (see newestKeys). Fetched with the manifest's or feed's
// deadline. Throws as newestKeys, and UpdateError (disk) when the newest cannot be kept.
KeyStatement channelKeys(Transfer& transfer, const std::string& channel,
                         const NetworkSettings& settings, Deadline deadline,
                         const std::filesystem::path& kept);

// Throws UpdateError (signature) naming `what` when it claims to be published under a later
// key statement than `head`, the newest the channel's chain leads to: only a key of `head`
// could have signed it, one that is not retired there yet.
void requirePublishedUnder(const KeyStatement& head, std::uint64_t keys, const std::string& what);

// The newest statement of the channel folder `channel`, as its publisher holds it: the
// last link of its chain, or its lone keys.json, or statement 0. Throws UpdateError
// (manifest) for a damaged one.
KeyStatement publishedKeys(const std::filesystem::path& channel);

// Throws UpdateError (other) unless `head` lists the public half of `privateKeyPem`, with
// what the publisher should do: players would refuse whatever it signs.
void requireListedKey(const KeyStatement& head, std::string_view privateKeyPem);

// "rotate-key": appends to `channel`'s chain a statement naming the keys from now on: its
// newest statement's keys and the new key, without the signing key when `retire` is set.
// It is signed by the signing key, which players trust already, and by the new key; then
// keys.json and its signature (by the signing key alone) are written for older tools.
// Throws UpdateError: other for an unusable key, a signing key the newest statement does not
// list, or a new key equal to it; manifest for a damaged chain; disk when it cannot be
// written.
KeyStatement rotateKeys(const std::filesystem::path& channel, const std::string& signingPem,
                        const std::string& newPem, bool retire);

}  // namespace kaldra::update
