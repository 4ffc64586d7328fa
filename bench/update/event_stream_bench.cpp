// The event stream reader alone: progress lines from memory, in pipe-sized reads, each
// parsed, dispatched and turned into the status the game file update would show.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "update/event_stream.h"

namespace {

using namespace kaldra::updater;

std::string progressLines(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i)
    bytes += R"({"type":"progress","label":"Downloading game files","pct":)" +
             std::to_string(i % 100) + R"(.5,"stage":"download","done":)" +
             std::to_string(i * 3000) +
             R"(,"total":3000000000})"
             "\n";
  return bytes;
}

void readProgressEvents(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string bytes = progressLines(count);
  std::size_t shown = 0;
  EventHandlers handlers{{"progress", [&](const Event& event) {
                            auto done = numberMember(event, "done");
                            auto total = numberMember(event, "total");
                            std::string detail = byteCountText(*done, *total);
                            shown += detail.size() + stringMember(event, "label")->size();
                          }}};
  for (auto _ : state) {
    std::size_t offset = 0;
    readEventStream(
        [&](char* buffer, std::size_t size) -> long {
          std::size_t n = std::min(size, bytes.size() - offset);
          std::memcpy(buffer, bytes.data() + offset, n);
          offset += n;
          return static_cast<long>(n);
        },
        handlers);
  }
  benchmark::DoNotOptimize(shown);
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(readProgressEvents)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
