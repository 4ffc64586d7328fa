// Installing a downloaded launcher from its disk image: the image is checked against
// the digest the signed channel gave, attached read-only in a private folder, its
// bundle verified and handed to the bundle exchange, and the image detached again.
#pragma once

#include <filesystem>
#include <string>

namespace kaldra {

// The private mount folder of this process: xplatDir/mnt-PID.
std::filesystem::path mountFolder();

// Throws SwapError "package hash does not match the signed channel" when `sha256` is not
// 64 characters or differs (case-insensitively) from the image's digest, "mount failed:
// ..." when the image cannot be attached, and whatever the bundle check or the exchange
// preparation throws. When it returns, the swap helper has been started. Whatever
// happens, nothing stays attached and the mount folder is gone.
void installFromDMG(const std::filesystem::path& image, const std::string& sha256,
                    const std::string& version);

}  // namespace kaldra
