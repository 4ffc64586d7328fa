#include "updater/channel/signature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <memory>

#include "updater/base/failure.h"

namespace kaldra::update {

namespace {

constexpr std::size_t kSignatureSize = 64;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

[[noreturn]] void unusableKey(const std::string& what) {
  throw UpdateError(FailureKind::other, "signing key: " + what);
}

Key readPrivateKey(std::string_view pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
  Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr,
          EVP_PKEY_free);
  if (!key) unusableKey("not a PEM private key");
  if (EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) unusableKey("not an Ed25519 key");
  return key;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

}  // namespace

std::string toHex(std::span<const unsigned char> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : bytes) text += {kHex[byte >> 4], kHex[byte & 0xf]};
  return text;
}

bool fromHex(std::string_view text, std::span<unsigned char> out) {
  if (text.size() != 2 * out.size()) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    int high = hexValue(text[2 * i]), low = hexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

std::string generatePrivateKeyPem() {
  Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_free);
  Bio bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!key || !bio ||
      PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    unusableKey("cannot make a new key");
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

PublicKey publicKeyOf(std::string_view privateKeyPem) {
  Key key = readPrivateKey(privateKeyPem);
  PublicKey publicKey{};
  std::size_t size = publicKey.size();
  if (EVP_PKEY_get_raw_public_key(key.get(), publicKey.data(), &size) != 1 ||
      size != publicKey.size())
    unusableKey("no public key");
  return publicKey;
}

std::string signBytes(std::string_view bytes, std::string_view privateKeyPem) {
  Key key = readPrivateKey(privateKeyPem);
  DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  unsigned char signature[kSignatureSize];
  std::size_t size = sizeof signature;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), signature, &size,
                     reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
    unusableKey("cannot sign");
  return toHex(signature) + "\n";
}

bool signatureMatches(std::string_view bytes, std::string_view signatureText,
                      const PublicKey& key) {
  unsigned char signature[kSignatureSize];
  if (signatureText.size() == kSignatureSize) {
    // The raw bytes, as standard tools write them (openssl pkeyutl -sign -rawin); their
    // hex text is twice as long, so the two never meet.
    std::memcpy(signature, signatureText.data(), kSignatureSize);
  } else {
    if (!fromHex(trim(signatureText), signature)) return false;
  }
  Key publicKey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()),
                EVP_PKEY_free);
  DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  return publicKey && context &&
         EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) == 1 &&
         EVP_DigestVerify(context.get(), signature, sizeof signature,
                          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
}

void requireSignature(std::string_view bytes, std::string_view signatureText,
                      const std::vector<PublicKey>& keys, const std::string& what) {
  for (const auto& key : keys)
    if (signatureMatches(bytes, signatureText, key)) return;
  throw UpdateError(FailureKind::signature,
                    what + ": missing or wrong signature, not a trusted publisher key");
}

std::string signatureFileName(std::string_view signedFileName) {
  return std::string(signedFileName) + ".sig";
}

}  // namespace kaldra::update
