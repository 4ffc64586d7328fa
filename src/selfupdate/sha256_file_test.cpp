#include "selfupdate/sha256_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

namespace fs = std::filesystem;

// The system's own tool as the reference.
std::string sha256sum(const fs::path& file) {
  std::string command = "sha256sum '" + file.string() + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  char digest[65] = "";
  if (pipe) {
    std::size_t n = std::fread(digest, 1, 64, pipe);
    digest[n] = '\0';
    ::pclose(pipe);
  }
  return digest;
}

TEST(Sha256File, AgreesWithSha256sumAroundTheChunkSize) {
  testing::TempDir dir;
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (std::size_t size : {std::size_t{0}, std::size_t{3}, kMiB - 1, kMiB, kMiB + 1, 3 * kMiB}) {
    auto file = dir / ("f" + std::to_string(size));
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
    std::ofstream(file, std::ios::binary) << bytes;
    EXPECT_EQ(sha256File(file), sha256sum(file)) << size;
  }
  EXPECT_EQ(sha256File(dir / "f0"),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256File, NothingForWhatCannotBeRead) {
  testing::TempDir dir;
  EXPECT_FALSE(sha256File(dir / "missing"));
  EXPECT_FALSE(sha256File(dir.path()));  // a folder opens but does not read
}

}  // namespace
}  // namespace kaldra
