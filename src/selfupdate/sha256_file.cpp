#include "selfupdate/sha256_file.h"

#include <cstdio>
#include <memory>

#include "platform/sha256.h"

namespace kaldra {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<std::string> sha256File(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  // The chunks are already large; the stream's own buffer would only add a copy.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  auto digest = platform::sha256Hex([&](unsigned char* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, file.get());
  });
  // A read error is no end of file: the digest of part of a file is no digest of it.
  if (std::ferror(file.get())) return std::nullopt;
  return digest;
}

}  // namespace kaldra
