#include "core/status_queue.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

TEST(SnapshotKey, FirstTwoWords) {
  EXPECT_EQ(snapshotKey("Downloading files 12 / 300 MB"), "Downloading files");
  EXPECT_EQ(snapshotKey("Ready"), "Ready");
  EXPECT_EQ(snapshotKey(""), "");
  EXPECT_EQ(snapshotKey("a  b c"), "a ");  // single blanks: the second word is empty
}

TEST(StatusQueue, UpdatesOfOneKindCollapseToTheLatest) {
  StatusQueue queue;
  EXPECT_TRUE(queue.push({"Downloading files 1", 1.0, ""}));
  EXPECT_FALSE(queue.push({"Downloading files 2", 2.0, "2 / 9 MB"}));
  EXPECT_FALSE(queue.push({"Verifying files", 50.0, ""}));
  EXPECT_FALSE(queue.push({"Downloading files 3", 3.0, ""}));
  auto pending = queue.takeAll();
  ASSERT_EQ(pending.size(), 3u);
  EXPECT_EQ(pending[0].detail, "2 / 9 MB");
  EXPECT_EQ(pending[1].text, "Verifying files");
  EXPECT_EQ(pending[2].text, "Downloading files 3");
  EXPECT_TRUE(queue.push({"x", std::nullopt, ""}));  // drained: the next push schedules
}

TEST(StatusQueue, KindsThatChangeOnEveryUpdateStayFewAndEndOnTheLatest) {
  StatusQueue queue;
  for (int i = 0; i < 1000000; ++i)
    queue.push({(i % 2 ? "Checking file " : "Downloading file ") + std::to_string(i), 0.0, ""});
  auto pending = queue.takeAll();
  ASSERT_EQ(pending.size(), StatusQueue::kMaxPending);
  // The first changes of kind survive; the latest update is shown last.
  EXPECT_EQ(pending[0].text, "Downloading file 0");
  EXPECT_EQ(pending[1].text, "Checking file 1");
  EXPECT_EQ(pending.back().text, "Checking file 999999");
}

}  // namespace
}  // namespace kaldra
