// Which keys may sign a channel, so that a publisher can move to a new key, and retire a
// compromised one, without a new launcher. A key statement in the channel names the keys
// now valid and is signed by a key the tool already trusts; the key built into the tool is
// the first. The tool keeps the newest statement it accepted: from then on only the keys
// it names sign manifests and feeds, and only they sign the next statement.
//
//   keys.json      {"sequence": 1765113600, "keys": ["3b6a27bc...", "8f1e02aa..."]}
//   keys.json.sig  the signature, by a key trusted before this statement
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/signature.h"
#include "updater/net/metadata_fetch.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

inline constexpr std::string_view kKeyStatementName = "keys.json";

struct KeyStatement {
  std::uint64_t sequence = 0;
  std::vector<PublicKey> keys;  // at least one
  bool operator==(const KeyStatement&) const = default;
};

// Throws UpdateError (manifest) naming the first fault: not JSON, no positive sequence, no
// keys, a key that is not 64 hexadecimal digits.
KeyStatement parseKeyStatement(std::string_view bytes);

// The statement as JSON text that parseKeyStatement reads back.
std::string keyStatementJson(const KeyStatement& statement);

// The keys trusted now: those of the statement kept at `kept` (the newest accepted), or
// the built-in key when none is kept or it cannot be read.
std::vector<PublicKey> trustedKeys(const std::filesystem::path& kept);

// Takes the channel's statement (`bytes` and its `signature`; no value when the channel
// has none) into account: one newer than the kept one must be signed by a trusted key and
// then replaces it, atomically; one no newer is passed over, since the kept one already
// says as much.
// Throws UpdateError (signature) for a statement that no trusted key signed, (manifest)
// for a damaged one, (disk) when it cannot be kept.
void acceptKeyStatement(const std::optional<std::string>& bytes, const std::string& signature,
                        const std::filesystem::path& kept);

// "rotate-key": writes into `channel` a statement naming the keys from now on, those of its
// current statement (or the signing key's alone) and the new key's, without the signing
// key's when `retire` is set, signed with the signing key, which players trust already;
// the signature is written first. Throws UpdateError: other for an unusable key, manifest
// for a damaged current statement, disk when it cannot be written.
KeyStatement rotateKeys(const std::filesystem::path& channel, const std::string& signingPem,
                        const std::string& newPem, bool retire);

// The keys trusted for `channel` now, after taking its statement into account (fetched
// with the manifest's or feed's deadline; a channel without one keeps what is kept).
std::vector<PublicKey> channelKeys(Transfer& transfer, const std::string& channel,
                                   const NetworkSettings& settings, Deadline deadline,
                                   const std::filesystem::path& kept);

}  // namespace kaldra::update
