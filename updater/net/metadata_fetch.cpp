#include "updater/net/metadata_fetch.h"

namespace kaldra::update {

Deadline metadataDeadline(const NetworkSettings& settings) {
  return std::chrono::steady_clock::now() + settings.metadataLimit;
}

std::string fetchMetadata(Transfer& transfer, const std::string& url, std::size_t limit,
                          FailureKind tooLarge, const NetworkSettings& settings,
                          Deadline deadline) {
  std::string bytes;
  for (int attempt = 1;; ++attempt) {
    try {
      bytes.clear();
      transfer.fetchFrom(
          url, 0, {},
          [&](std::string_view piece) {
            if (bytes.size() + piece.size() > limit)
              throw UpdateError(tooLarge,
                                url + ": larger than " + std::to_string(limit) + " bytes");
            bytes.append(piece);
          },
          deadline);
      return bytes;
    } catch (const TransferError& error) {
      if (!waitToRetry(error, attempt, settings)) throw;
    }
  }
}

}  // namespace kaldra::update
