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

TEST(StatusQueue, UpdatesOfOneKindCollapseToTheLatestAndTheFirstChangesOfKindStay) {
  StatusQueue queue;
  EXPECT_TRUE(queue.push({"Downloading files 1", 1.0, ""}));
  for (const char* text : {"Downloading files 2", "Verifying files", "Downloading files 3"})
    EXPECT_FALSE(queue.push({text, 2.0, ""}));
  std::vector<std::string> texts;
  for (const auto& update : queue.takeAll()) texts.push_back(update.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Downloading files 2", "Verifying files",
                                             "Downloading files 3"}));
  EXPECT_TRUE(queue.push({"x", std::nullopt, ""}));  // drained: the next push schedules
  for (int i = 0; i < 1000000; ++i)
    queue.push({(i % 2 ? "Checking file " : "Downloading file ") + std::to_string(i), 0.0, ""});
  auto pending = queue.takeAll();
  ASSERT_EQ(pending.size(), StatusQueue::kMaxPending);
  EXPECT_EQ(pending[1].text, "Downloading file 0");
  EXPECT_EQ(pending[2].text, "Checking file 1");
  EXPECT_EQ(pending.back().text, "Checking file 999999");
}

}  // namespace
}  // namespace kaldra
