#include "platform/sha256.h"

#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>

#include <memory>
#include <vector>

namespace kaldra::platform {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// The few calls of OpenSSL's libcrypto that a digest needs, bound at first use.
struct Crypto {
  EVP_MD_CTX* (*newContext)() = nullptr;
  void (*freeContext)(EVP_MD_CTX*) = nullptr;
  const EVP_MD* (*sha256)() = nullptr;
  int (*init)(EVP_MD_CTX*, const EVP_MD*, ENGINE*) = nullptr;
  int (*update)(EVP_MD_CTX*, const void*, std::size_t) = nullptr;
  int (*final)(EVP_MD_CTX*, unsigned char*, unsigned int*) = nullptr;
  bool loaded = false;
};

template <typename Function>
bool bind(void* library, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(dlsym(library, name));
  return slot != nullptr;
}

Crypto load() {
  Crypto crypto;
  const std::string soname = "libcrypto.so." + std::to_string(OPENSSL_VERSION_MAJOR);
  void* library = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  crypto.loaded = library && bind(library, "EVP_MD_CTX_new", crypto.newContext) &&
                  bind(library, "EVP_MD_CTX_free", crypto.freeContext) &&
                  bind(library, "EVP_sha256", crypto.sha256) &&
                  bind(library, "EVP_DigestInit_ex", crypto.init) &&
                  bind(library, "EVP_DigestUpdate", crypto.update) &&
                  bind(library, "EVP_DigestFinal_ex", crypto.final);
  return crypto;  // the library stays loaded for the life of the process
}

}  // namespace

std::optional<std::string> sha256Hex(const ByteSource& read) {
  static const Crypto crypto = load();
  if (!crypto.loaded) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(crypto.newContext(),
                                                             crypto.freeContext);
  if (!context || crypto.init(context.get(), crypto.sha256(), nullptr) != 1) return std::nullopt;
  std::vector<unsigned char> chunk(kChunk);
  while (std::size_t n = read(chunk.data(), chunk.size()))
    crypto.update(context.get(), chunk.data(), n);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (crypto.final(context.get(), digest, &length) != 1) return std::nullopt;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0xf]);
  }
  return hex;
}

}  // namespace kaldra::platform
