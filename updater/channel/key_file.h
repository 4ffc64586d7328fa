// A publisher's private key on disk: readable by its owner alone from its first byte, in a
// folder only its owner can enter when the folder is new, and never written over another file.
#pragma once

#include <filesystem>
#include <string>

namespace kaldra::update {

// Writes `pem` to the new file `path`: mode 0600 and folders made 0700 from the moment they
// exist, whatever the umask. Throws UpdateError: other when something is at `path` already
// (it is left as it was), disk when it cannot be written.
void writeNewPrivateKey(const std::filesystem::path& path, const std::string& pem);

}  // namespace kaldra::update
