#include "core/status_queue.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

TEST(SnapshotKey, FirstTwoWords) {
  for (auto [text, key] : {std::pair{"Downloading files 12 / 300 MB", "Downloading files"},
                           {"Ready", "Ready"},
                           {"", ""},
                           {"a  b c", "a "}})  // single blanks: the second word is empty
    EXPECT_EQ(snapshotKey(text), key);
}

}  // namespace
}  // namespace kaldra
