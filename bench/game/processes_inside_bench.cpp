// processesInside over the whole process table, beside a plain scan of /proc/*/exe that
// does the same comparison with nothing around it. Extra sleeping processes make the
// table a busy desktop's size.
//
//   processes_inside_bench [--processes=N] [benchmark flags]
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spawn.h"
#include "proc/process_queries.h"

namespace {

// A folder no process runs from: every process is looked at, none kept.
constexpr const char* kFolder = "/opt/Kaldrith-bench/Kaldrith.app";

std::vector<int> plainScan(std::string_view prefix) {
  std::vector<int> inside;
  DIR* proc = ::opendir("/proc");
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid < 1) continue;
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/%ld/exe", pid);
    ssize_t length = ::readlink(link, path, sizeof path);
    if (length > 0 && std::string_view(path, length).starts_with(prefix))
      inside.push_back(static_cast<int>(pid));
  }
  ::closedir(proc);
  return inside;
}

void ProcessesInside(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kaldra::processesInside(kFolder));
  state.counters["processes"] = static_cast<double>(kaldra::allPids().size());
}

void PlainExeScan(benchmark::State& state) {
  std::string prefix = std::string(kFolder) + "/";
  for (auto _ : state) benchmark::DoNotOptimize(plainScan(prefix));
}

BENCHMARK(ProcessesInside)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainExeScan)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  int extra = 300;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--processes=", 12) == 0)
      extra = std::atoi(argv[i] + 12);
    else
      args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  std::vector<int> sleepers;
  for (int i = 0; i < extra; ++i)
    sleepers.push_back(
        kaldra::platform::spawnProcess({.program = "/bin/sleep", .args = {"600"}}).pid);

  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  for (int pid : sleepers) {
    ::kill(pid, SIGKILL);
    kaldra::platform::waitForExit(pid);
  }
  return 0;
}
