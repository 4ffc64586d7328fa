// A fast stand-in for the updater tool's "prepare": writes `count` download progress
// events to standard output as fast as the pipe takes them, then exits 0.
//
//   progress_flood COUNT [alternate]   ("alternate" switches between two labels)
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  bool alternate = argc > 2 && std::strcmp(argv[2], "alternate") == 0;
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  const double total = 3e9;
  for (long i = 0; i < count; ++i) {
    const char* label = alternate && i % 2 ? "Checking game files" : "Downloading game files";
    double done = total * static_cast<double>(i) / static_cast<double>(count);
    std::printf(
        "{\"type\":\"progress\",\"label\":\"%s\",\"pct\":%.3f,\"stage\":\"download\","
        "\"done\":%.0f,\"total\":%.0f}\n",
        label, 100.0 * done / total, done, total);
  }
  return 0;
}
