#include "updater/base/sha256.h"

#include <gtest/gtest.h>

namespace kaldra::update {
namespace {

// Around the block size of the hashing thread, fed in uneven pieces.
TEST(Sha256, KnownDigestAndTheSameInTheBackgroundForAnyLength) {
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  constexpr std::size_t kBlock = 4 << 20;
  for (std::size_t length : {0ul, 1ul, kBlock - 1, kBlock, kBlock + 1, 5 * kBlock + 12345}) {
    std::string data(length, '\0');
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 7 + i / 4099);
    BackgroundSha256 background;
    for (std::size_t at = 0, piece = 1; at < length; at += piece, piece = piece * 3 + 1)
      background.update(std::string_view(data).substr(at, piece));
    EXPECT_EQ(background.finishHex(), sha256Hex(data)) << length;
  }
}

}  // namespace
}  // namespace kaldra::update
