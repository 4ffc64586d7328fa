#include "update/event_stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kaldra::updater {
namespace {

using Names = std::vector<std::string>;

// Hands out the pieces one per read (a piece larger than the buffer over several), then
// the end; notes each event's "n" with the number of reads made when it was handled.
Names readAll(std::vector<std::string> pieces, std::size_t maxLine = kMaxEventLine) {
  std::size_t reads = 0, piece = 0, offset = 0;
  auto source = [&](char* buffer, std::size_t size) -> long {
    if (piece >= pieces.size()) return 0;
    ++reads;
    std::size_t n = std::min(size, pieces[piece].size() - offset);
    std::memcpy(buffer, pieces[piece].data() + offset, n);
    offset += n;
    if (offset == pieces[piece].size()) ++piece, offset = 0;
    return static_cast<long>(n);
  };
  Names seen;
  auto note = [&](const Event& event) {
    seen.push_back(stringMember(event, "n").value_or("?") + "@" + std::to_string(reads));
  };
  readEventStream(source, {{"progress", note}, {"error", note}}, maxLine);
  return seen;
}

// Each event is handled in the read that brought its line feed; blanks and CR are spacing.
TEST(EventStream, LinesAreFramedByLineFeedsAndForeignBrokenLongAndDeepOnesSkipped) {
  const std::string fits = R"({"type":"progress","n":"fit"})";  // 29 bytes
  std::string over = fits;
  over.insert(1, " ");                             // 30 bytes, valid JSON
  auto nested = [](const char* name, int depth) {  // the object itself is one level
    return R"({"type":"progress","n":")" + std::string(name) + R"(","x":)" +
           std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}\n";
  };
  const struct {
    std::vector<std::string> pieces;
    std::size_t maxLine;
    Names names;
  } cases[] = {
      {{"{\"type\":\"progress\",\"n\":\"a\"}\n{\"type\":\"error\",\"n\":\"b\"}\n",
        R"({"type":"progress",)", R"("n":"c"})", "\n",
        "{\"type\":\"progress\",\"n\":\"d\"}\n{\"type\":\"pro", "gress\",\"n\":\"e\"}\n"},
       kMaxEventLine,
       {"a@1", "b@1", "c@4", "d@5", "e@6"}},
      {{"[1,2,3]\n", "42\n", "\"progress\"\n", "{\"type\":\"progress\",\n", "not json\n", "\n",
        "{}\n", "{\"type\":7,\"n\":\"x\"}\n", "{\"type\":\"Progress\",\"n\":\"x\"}\n",
        "\xff\xfe{\"type\":\"progress\"}\n",
        std::string("{\"type\":\"progress\",\"n\":\"x\"}\0junk\n", 33),
        " \t{\"type\":\"progress\",\"n\":\"z\"} \r\n"},
       kMaxEventLine,
       {"z@12"}},
      {{fits + "\n", over + "\n", "{\"type\":\"progress\",\"n\":\"b\"}\n"},
       fits.size(),
       {"fit@1", "b@3"}},
      // Bounds apply to the whole line, also when its start alone fits.
      {{over.substr(0, 25), over.substr(25) + "\n", fits + "\n"}, fits.size(), {"fit@3"}},
      {{nested("33", 33), nested("32", 32),
        "{\"type\":\"progress\",\"n\":\"s\",\"x\":[[{\"a\":\"[[[[\"}]]}\n",
        std::string(100000, '[') + std::string(100000, ']') + "\n"},
       kMaxEventLine,
       {"32@2", "s@3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.names));
    EXPECT_EQ(readAll(c.pieces, c.maxLine), c.names);
  }
}

}  // namespace
}  // namespace kaldra::updater
