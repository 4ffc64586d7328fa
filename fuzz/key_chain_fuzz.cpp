// A channel's key chain: any bytes are refused with the tool's error, or give links that read
// back as themselves; walking them from the built-in key reaches a statement with keys or
// fails as a damaged chain or a missing signature. Each statement text is fuzzed too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/key_chain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  std::string_view bytes{reinterpret_cast<const char*>(data), size};
  try {
    KeyStatement statement = parseKeyStatement(bytes);
    if (statement.sequence == 0 || statement.keys.empty()) __builtin_trap();
    if (parseKeyStatement(keyStatementJson(statement)) != statement) __builtin_trap();
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::manifest) __builtin_trap();
  }
  try {
    auto chain = parseKeyChain(bytes);
    if (parseKeyChain(keyChainJson(chain)) != chain) __builtin_trap();
    std::string newest;
    auto head = walkKeyChain(chain, builtInStatement(), "", newest);
    if (head.keys.empty() || head.number > chain.size()) __builtin_trap();
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::manifest && error.kind() != FailureKind::signature)
      __builtin_trap();
  }
  return 0;
}
