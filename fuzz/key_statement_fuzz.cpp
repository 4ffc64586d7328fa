// A channel's key statement: any bytes are refused with the tool's error, or give a
// statement with a positive sequence and at least one key, which reads back as itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/key_statement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  try {
    KeyStatement statement = parseKeyStatement({reinterpret_cast<const char*>(data), size});
    if (statement.sequence == 0 || statement.keys.empty()) __builtin_trap();
    if (parseKeyStatement(keyStatementJson(statement)) != statement) __builtin_trap();
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::manifest) __builtin_trap();
  }
  return 0;
}
