// A signed manifest as the tool reads it: the first line is taken as the signature text,
// the rest as the manifest. A signature that this key did not make over exactly these
// bytes is refused with the tool's error; the key's own signature is accepted, and the
// bytes then read as a manifest or are refused with the tool's error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/manifest.h"
#include "updater/channel/signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  static const std::string key = generatePrivateKeyPem();
  static const PublicKey publicKey = publicKeyOf(key);
  std::string_view input(reinterpret_cast<const char*>(data), size);
  auto split = input.find('\n');
  std::string_view signature = input.substr(0, split);
  std::string_view bytes = split == std::string_view::npos ? "" : input.substr(split + 1);
  try {
    requireSignature(bytes, signature, {publicKey}, "manifest");
    __builtin_trap();  // a forgery
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::signature) __builtin_trap();
  }
  try {
    requireSignature(bytes, signBytes(bytes, key), {publicKey}, "manifest");
    parseManifest(bytes);
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::manifest) __builtin_trap();
  }
  return 0;
}
