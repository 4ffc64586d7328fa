#include "updater/channel/manifest_fetch.h"

#include "updater/channel/channel.h"
#include "updater/channel/manifest.h"
#include "updater/channel/signature.h"

namespace kaldra::update {

namespace {

constexpr std::size_t kManifestLimit = 64 << 20;
constexpr std::size_t kSignatureLimit = 4096;

}  // namespace

std::string fetchSignedManifest(Transfer& transfer, const std::string& channel,
                                const NetworkSettings& settings, Deadline deadline,
                                const KeyStatement& head) {
  std::string bytes = fetchMetadata(transfer, fileUrl(channel, kManifestName), kManifestLimit,
                                    FailureKind::manifest, settings, deadline);
  std::string signature;
  try {
    signature = fetchMetadata(transfer, fileUrl(channel, signatureFileName(kManifestName)),
                              kSignatureLimit, FailureKind::signature, settings, deadline);
  } catch (const TransferError& error) {
    if (!error.missing()) throw;
  }
  requireSignature(bytes, signature, head.keys, "manifest");
  return bytes;
}

}  // namespace kaldra::update
