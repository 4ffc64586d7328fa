// Fetching the channel's small files: manifests, feeds, their signatures. Unlike game
// files, which may take hours and only must keep moving, these have a deadline: a server
// that trickles them (fast enough never to stall) must not hold the player up for long.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "updater/base/failure.h"
#include "updater/net/network_settings.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

using Deadline = std::chrono::steady_clock::time_point;

// The deadline for the metadata a command fetches from now on.
Deadline metadataDeadline(const NetworkSettings& settings);

// The whole body of `url`, at most `limit` bytes (UpdateError of kind `tooLarge` past it),
// tried again after a transient failure as the settings say, and all of it before
// `deadline`. Throws TransferError (network) when it cannot be had in time.
std::string fetchMetadata(Transfer& transfer, const std::string& url, std::size_t limit,
                          FailureKind tooLarge, const NetworkSettings& settings, Deadline deadline);

}  // namespace kaldra::update
