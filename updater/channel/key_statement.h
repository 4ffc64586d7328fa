// Which keys may sign a channel: a key statement names the keys valid from its number on.
// Statement 0 is the key built into the tool; each later one is a link of the channel's key
// chain (key_chain.h). The newest is also served alone as keys.json, signed by the key that
// made it, for tools that know no chain.
//
//   keys.json      {"number": 2, "sequence": 1765113600, "keys": ["3b6a27bc...", "8f1e02aa..."]}
//   keys.json.sig  the signature, by a key of statement 1
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/signature.h"

namespace kaldra::update {

inline constexpr std::string_view kKeyStatementName = "keys.json";

struct KeyStatement {
  std::uint64_t number = 0;  // 0: none given (the built-in key, or a statement before chains)
  std::uint64_t sequence = 0;
  std::vector<PublicKey> keys;  // at least one
  bool operator==(const KeyStatement&) const = default;
  bool lists(const PublicKey& key) const;
};

// Throws UpdateError (manifest) naming the first fault: not JSON, no positive sequence, a
// number that is not a non-negative integer, no keys, a key that is not 64 hexadecimal
// digits.
KeyStatement parseKeyStatement(std::string_view bytes);

// The statement as JSON text that parseKeyStatement reads back.
std::string keyStatementJson(const KeyStatement& statement);

// Statement 0: the key built into the tool.
KeyStatement builtInStatement();

}  // namespace kaldra::update
