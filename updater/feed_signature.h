// The launcher feed's signature: Ed25519 over the feed's bytes, checked with the public
// key built into the tool.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kaldra::update {

// Whether `signature` (the ".sig" file's content) signs `bytes` with the tool's key.
bool verifyFeedSignature(std::string_view bytes, std::string_view signature);

// The ".sig" file's content for `bytes`, signed with the private key in `privateKey`.
// Throws UpdateError (integrity) when the key cannot be read or cannot sign.
std::string signFeed(std::string_view bytes, const std::filesystem::path& privateKey);

}  // namespace kaldra::update
