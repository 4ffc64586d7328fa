#include "updater/events.h"

#include <gtest/gtest.h>

#include <sstream>

#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using testing::parseEvents;

class Events : public ::testing::Test {
 protected:
  std::chrono::steady_clock::time_point now_{};
  std::ostringstream out_;
  EventWriter events_{out_, true, [this] { return now_; }};
};

TEST_F(Events, ProgressAndErrorAreOneJsonObjectPerLine) {
  events_.progress(Stage::download, 42.7, "Lade \u2026", ByteProgress{1400000, 3000000});
  events_.progress(Stage::scan, 150, "scan");
  events_.error(FailureKind::disk, "voll");
  auto lines = parseEvents(out_.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], nlohmann::json::parse(R"({"type": "progress", "pct": 42,
      "label": "Lade \u2026", "stage": "download", "done": 1400000, "total": 3000000})"));
  EXPECT_EQ(lines[1]["pct"], 100);
  EXPECT_FALSE(lines[1].contains("done"));
  EXPECT_EQ(lines[2], nlohmann::json::parse(R"({"type":"error","kind":"disk","user":"voll"})"));
}

TEST_F(Events, ByteUpdatesWithinOnePercentAreHeldBackUntil100Milliseconds) {
  const std::uint64_t total = 1'000'000'000;
  for (std::uint64_t done = 0; done <= total; done += 100'000)
    events_.progress(Stage::download, 100.0 * done / total, "d", ByteProgress{done, total});
  auto lines = parseEvents(out_.str());
  EXPECT_EQ(lines.size(), 101u);  // one per whole percent, the last at 100
  EXPECT_EQ(lines.back()["pct"], 100);
  EXPECT_EQ(lines.back()["done"], total);

  events_.progress(Stage::download, 100, "d", ByteProgress{total, total});
  EXPECT_EQ(parseEvents(out_.str()).size(), 101u);
  now_ += std::chrono::milliseconds(100);
  events_.progress(Stage::download, 100, "d", ByteProgress{total, total});
  EXPECT_EQ(parseEvents(out_.str()).size(), 102u);
}

TEST_F(Events, ANewStageOrLabelIsAlwaysWritten) {
  events_.progress(Stage::scan, 20, "a");
  events_.progress(Stage::download, 20, "a");
  events_.progress(Stage::download, 20, "b");
  events_.progress(Stage::download, 20, "b");
  EXPECT_EQ(parseEvents(out_.str()).size(), 3u);
}

TEST(EventsForPeople, ReadableLinesWithMegabytes) {
  std::ostringstream out;
  EventWriter events(out, false);
  events.progress(Stage::download, 25, "Downloading", ByteProgress{5'000'000, 20'000'000});
  events.error(FailureKind::network, "unreachable");
  EXPECT_EQ(out.str(), "[25%] Downloading (5 / 20 MB)\nerror (network): unreachable\n");
}

}  // namespace
}  // namespace kaldra::update
