#include "update/event_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kaldra::updater {
namespace {

// Hands out the given pieces, one per read (a piece larger than the reader's buffer
// over several), then the end of the stream. Counts reads, so a test can see when an
// event was handled relative to the reads.
struct ScriptedSource {
  std::vector<std::string> pieces;
  std::size_t reads = 0;
  std::size_t piece = 0, offset = 0;

  ByteSource source() {
    return [this](char* buffer, std::size_t size) -> long {
      if (piece >= pieces.size()) return 0;
      ++reads;
      std::size_t n = std::min(size, pieces[piece].size() - offset);
      std::memcpy(buffer, pieces[piece].data() + offset, n);
      offset += n;
      if (offset == pieces[piece].size()) ++piece, offset = 0;
      return static_cast<long>(n);
    };
  }
};

// What the handlers saw: each event's "n" (or "?"), with the read count at the time.
struct Seen {
  std::vector<std::string> names;
  std::vector<std::size_t> atRead;
};

Seen readAll(std::vector<std::string> pieces, std::size_t maxLine = kMaxEventLine) {
  ScriptedSource scripted{std::move(pieces)};
  Seen seen;
  auto note = [&](const Event& event) {
    seen.names.push_back(stringMember(event, "n").value_or("?"));
    seen.atRead.push_back(scripted.reads);
  };
  readEventStream(scripted.source(), {{"progress", note}, {"error", note}}, maxLine);
  return seen;
}

using Names = std::vector<std::string>;

TEST(EventStream, LinesAreFramedByLineFeedsAcrossAndWithinReads) {
  Seen seen = readAll({R"({"type":"progress","n":"a"})"
                       "\n"
                       R"({"type":"error","n":"b"})"
                       "\n",
                       R"({"type":"progress",)", R"("n":"c"})", "\n",
                       R"({"type":"progress","n":"d"})"
                       "\n"
                       R"({"type":"pro)",
                       R"(gress","n":"e"})"
                       "\n"});
  EXPECT_EQ(seen.names, (Names{"a", "b", "c", "d", "e"}));
  // Each event is handled during the read that brought its line feed, before the next.
  EXPECT_EQ(seen.atRead, (std::vector<std::size_t>{1, 1, 4, 5, 6}));
}

TEST(EventStream, BytesAfterTheLastLineFeedAreNoEvent) {
  EXPECT_EQ(readAll({R"({"type":"progress","n":"a"})"
                     "\n"
                     R"({"type":"progress","n":"b"})"})
                .names,
            (Names{"a"}));
  EXPECT_TRUE(readAll({R"({"type":"progress","n":"a"})"}).names.empty());
  EXPECT_TRUE(readAll({}).names.empty());
}

// Blanks and a carriage return around the object are JSON white space.
TEST(EventStream, ForeignAndBrokenLinesAreSkippedAndReadingGoesOn) {
  Seen seen = readAll({"[1,2,3]\n", "42\n", "\"progress\"\n", "{\"type\":\"progress\",\n",
                       "not json at all\n", "\n", "{}\n",
                       R"({"type":7,"n":"x"})"
                       "\n",
                       R"({"type":["progress"],"n":"x"})"
                       "\n",
                       R"({"kind":"progress"})"
                       "\n",
                       R"({"type":"xplat-file","n":"x"})"
                       "\n",
                       R"({"type":"Progress","n":"x"})"
                       "\n",
                       std::string("\xff\xfe{\"type\":\"progress\"}\n"),
                       std::string("{\"type\":\"progress\",\"n\":\"x\"}\0junk\n", 33),
                       " \t{\"type\":\"progress\",\"n\":\"z\"} \r"
                       "\n"});
  EXPECT_EQ(seen.names, (Names{"z"}));
}

TEST(EventStream, AReadErrorEndsTheStream) {
  int reads = 0;
  Names names;
  readEventStream(
      [&](char* buffer, std::size_t) -> long {
        if (++reads > 1) return -1;
        std::string line = R"({"type":"progress","n":"a"})"
                           "\n";
        std::memcpy(buffer, line.data(), line.size());
        return static_cast<long>(line.size());
      },
      {{"progress", [&](const Event& e) { names.push_back(*stringMember(e, "n")); }}});
  EXPECT_EQ(names, (Names{"a"}));
  EXPECT_EQ(reads, 2);
}

TEST(EventStream, LinesOverTheBoundAreDroppedUpToTheirLineFeed) {
  const std::string fits = R"({"type":"progress","n":"fit"})";  // 29 bytes
  std::string over = fits;
  over.insert(1, " ");  // 30 bytes, valid JSON
  const std::string next = R"({"type":"progress","n":"b"})"
                           "\n";
  EXPECT_EQ(readAll({fits + "\n", over + "\n", next}, fits.size()).names, (Names{"fit", "b"}));
  // The over-long line arrives in pieces, its end together with the next line.
  EXPECT_EQ(
      readAll({over.substr(0, 10), over.substr(10, 10), over.substr(20) + "\n" + next}, fits.size())
          .names,
      (Names{"b"}));
  // Bounds apply to the whole line, also when its start alone fits.
  EXPECT_EQ(readAll({over.substr(0, 25), over.substr(25) + "\n", next}, fits.size()).names,
            (Names{"b"}));
}

TEST(EventStream, LinesNestedDeeperThan32AreSkippedUnparsed) {
  auto nested = [](const char* name, int depth) {  // the object itself is one level
    return R"({"type":"progress","n":")" + std::string(name) + R"(","x":)" +
           std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}\n";
  };
  std::string deep = std::string(100000, '[') + std::string(100000, ']') + "\n";
  std::string bracketsInAString = R"({"type":"progress","n":"s","x":[[{"a":"[[[["}]]})"
                                  "\n";
  EXPECT_EQ(readAll({deep, nested("33", 33), nested("32", 32), bracketsInAString}).names,
            (Names{"32", "s"}));
}

TEST(EventMembers, WrongTypesCountAsAbsentAndNumbersMayBeFractions) {
  Event event = Event::parse(
      R"({"type":"progress","pct":42,"done":1.5e6,"neg":-3,"big":18446744073709551615,
          "text":"12","flag":true,"none":null,"label":"Loading"})");
  EXPECT_EQ(numberMember(event, "pct"), 42.0);
  EXPECT_EQ(numberMember(event, "done"), 1500000.0);
  EXPECT_EQ(numberMember(event, "neg"), -3.0);
  EXPECT_EQ(numberMember(event, "big"), 18446744073709551615.0);
  EXPECT_EQ(numberMember(event, "text"), std::nullopt);
  EXPECT_EQ(numberMember(event, "flag"), std::nullopt);
  EXPECT_EQ(numberMember(event, "none"), std::nullopt);
  EXPECT_EQ(numberMember(event, "missing"), std::nullopt);
  EXPECT_EQ(stringMember(event, "label"), "Loading");
  EXPECT_EQ(stringMember(event, "pct"), std::nullopt);
  EXPECT_EQ(stringMember(Event::array({1}), "label"), std::nullopt);
}

TEST(ByteCountText, DecimalMegabytesRounded) {
  EXPECT_EQ(byteCountText(1400000, 3000000), "1 / 3 MB");
  EXPECT_EQ(byteCountText(0, 999999), "0 / 1 MB");
  EXPECT_EQ(byteCountText(1600000, 2.5e9), "2 / 2500 MB");
}

}  // namespace
}  // namespace kaldra::updater
