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

// Blanks and a carriage return around the object are JSON white space.
TEST(EventStream, ForeignAndBrokenLinesAreSkippedAndReadingGoesOn) {
  Seen seen = readAll({"[1,2,3]\n", "42\n", "\"progress\"\n", "{\"type\":\"progress\",\n",
                       "not json at all\n", "\n", "{}\n",
                       R"({"type":7,"n":"x"})"
                       "\n",
                       R"({"type":"Progress","n":"x"})"
                       "\n",
                       std::string("\xff\xfe{\"type\":\"progress\"}\n"),
                       std::string("{\"type\":\"progress\",\"n\":\"x\"}\0junk\n", 33),
                       " \t{\"type\":\"progress\",\"n\":\"z\"} \r"
                       "\n"});
  EXPECT_EQ(seen.names, (Names{"z"}));
}

TEST(EventStream, LinesOverTheBoundAreDroppedUpToTheirLineFeed) {
  const std::string fits = R"({"type":"progress","n":"fit"})";  // 29 bytes
  std::string over = fits;
  over.insert(1, " ");  // 30 bytes, valid JSON
  const std::string next = R"({"type":"progress","n":"b"})"
                           "\n";
  EXPECT_EQ(readAll({fits + "\n", over + "\n", next}, fits.size()).names, (Names{"fit", "b"}));
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

}  // namespace
}  // namespace kaldra::updater
