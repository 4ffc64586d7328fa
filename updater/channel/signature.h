// Ed25519 signatures over exact bytes: how the tool knows that what a channel or a feed
// serves comes from the game's publisher. The publisher signs with its private key
// ("publish"); the tool checks against the public key built into it. A signature
// travels in a companion file named after the signed one ("manifest.json" ->
// "manifest.json.sig"): either the 64 raw bytes, as standard tools write them, or their
// text, 128 hexadecimal digits (what "publish" writes).
//
//   std::string text = signBytes(manifestBytes, privateKeyPem);
//   if (!signatureMatches(manifestBytes, text, builtInPublicKey())) refuse();
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra::update {

using PublicKey = std::array<unsigned char, 32>;

// A new private key, PEM-encoded (PKCS #8).
std::string generatePrivateKeyPem();

// The public half of a PEM private key. Throws UpdateError (other) when the text is not an
// Ed25519 private key.
PublicKey publicKeyOf(std::string_view privateKeyPem);

// Bytes as lower-case hexadecimal text, and back: `text` of exactly twice `out.size()`
// hexadecimal digits, in either case, fills `out`; false for anything else.
std::string toHex(std::span<const unsigned char> bytes);
bool fromHex(std::string_view text, std::span<unsigned char> out);

// The signature of `bytes` as the text of a companion file: 128 lower-case hexadecimal
// digits and a line feed. Throws UpdateError (other) when the key is unusable.
std::string signBytes(std::string_view bytes, std::string_view privateKeyPem);

// Whether `signatureText` (white space around the digits is ignored, either case) is
// `key`'s signature of exactly `bytes`. Any malformed text is simply no match.
bool signatureMatches(std::string_view bytes, std::string_view signatureText, const PublicKey& key);

// Throws UpdateError (signature) naming `what` unless one of `keys` signed `bytes`
// (signatureMatches); nothing of `bytes` may be trusted then.
void requireSignature(std::string_view bytes, std::string_view signatureText,
                      const std::vector<PublicKey>& keys, const std::string& what);

// The publisher's key this tool trusts; made with the build (the demo channel's key).
const PublicKey& builtInPublicKey();

// "manifest.json" -> "manifest.json.sig".
std::string signatureFileName(std::string_view signedFileName);

}  // namespace kaldra::update
