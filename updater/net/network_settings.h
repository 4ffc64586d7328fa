// How patient the tool is with the network, and whom it trusts there. Players get the
// defaults; the tests shorten the waits and add their own certificate authority through
// the environment, so that the failure paths run in seconds:
//   KALDRA_TEST_STALL_SECONDS  the stall limit (whole seconds, at least 1)
//   KALDRA_TEST_RETRY_MS       the first pause before a retry (milliseconds)
//   KALDRA_TEST_CA_FILE        a PEM certificate authority trusted besides the system's
//   KALDRA_TEST_METADATA_SECONDS  the time allowed for a command's metadata (whole seconds)
#pragma once

#include <chrono>
#include <string>

namespace kaldra::update {

struct NetworkSettings {
  // A transfer that moves fewer than kStallBytes in this time, or a connection not made in
  // it, counts as stalled.
  std::chrono::seconds stallLimit{10};
  // Tries of one transfer before its failure is final; the pause doubles after each.
  int attempts = 4;
  std::chrono::milliseconds firstPause{500};
  // A command's manifests, feeds and signatures, retries included, arrive within this.
  std::chrono::seconds metadataLimit{45};
  std::string extraCaFile;  // empty: the system's certificate store alone

  static constexpr long kStallBytes = 1024;

  // The defaults with the test settings above applied; malformed values are ignored.
  static NetworkSettings fromEnvironment();
};

}  // namespace kaldra::update
