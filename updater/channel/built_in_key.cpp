// The one file that sees the key generated with the build (publisher_key.inc, in the
// build folder, never in the sources).
#include "updater/channel/signature.h"

namespace kaldra::update {

const PublicKey& builtInPublicKey() {
  static constexpr PublicKey kKey = {
#include "publisher_key.inc"
  };
  return kKey;
}

}  // namespace kaldra::update
