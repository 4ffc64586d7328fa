#include "selfupdate/sha256_file.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace kaldra {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::optional<std::string> sha256File(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  // The chunks are already large; the stream's own buffer would only add a copy.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
  std::vector<unsigned char> chunk(kChunk);
  while (true) {
    std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (n > 0) EVP_DigestUpdate(context.get(), chunk.data(), n);
    if (n < chunk.size()) break;
  }
  // A read error is no end of file: the digest of part of a file is no digest of it.
  if (std::ferror(file.get())) return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0xf]);
  }
  return hex;
}

}  // namespace kaldra
