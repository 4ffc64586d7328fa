// The channel's manifest as a player takes it: fetched with its signature, and only once one
// of the trusted keys signed it.
#pragma once

#include <string>

#include "updater/channel/key_statement.h"
#include "updater/net/metadata_fetch.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

// The manifest's bytes, signed by a key of `head`. A channel without a signature is refused
// like one with a wrong signature. Throws UpdateError: signature, manifest (too large), or
// TransferError.
std::string fetchSignedManifest(Transfer& transfer, const std::string& channel,
                                const NetworkSettings& settings, Deadline deadline,
                                const KeyStatement& head);

}  // namespace kaldra::update
