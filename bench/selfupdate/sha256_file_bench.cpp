// sha256File against the system's sha256sum on the same file, alternating, best of
// three each: prints both times and the ratio (above 1: sha256File is faster).
//
//   sha256_file_bench [FILE]   without FILE, a 1 GB file of random bytes in /tmp
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "selfupdate/sha256_file.h"

namespace {

double seconds(const std::function<void()>& work) {
  auto begin = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path file = argc > 1 ? argv[1] : "/tmp/kaldra-sha256-bench.bin";
  bool made = argc <= 1;
  if (made) {
    std::ofstream out(file, std::ios::binary);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17);
    for (int i = 0; i < 1000; ++i) {  // 1000 MiB-ish blocks of 1 MiB
      for (auto& word : block) word = random();
      out.write(reinterpret_cast<const char*>(block.data()), block.size() * 8);
    }
  }
  std::string command = "sha256sum '" + file.string() + "' > /dev/null";
  double ours = 1e9, theirs = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours = std::min(ours, seconds([&] {
                      if (!kaldra::sha256File(file)) std::exit(1);
                    }));
    theirs = std::min(theirs, seconds([&] {
                        if (std::system(command.c_str()) != 0) std::exit(1);
                      }));
  }
  auto size = std::filesystem::file_size(file) / 1e6;
  std::printf("file            %.0f MB\n", size);
  std::printf("sha256File      %.3f s (%.0f MB/s)\n", ours, size / ours);
  std::printf("sha256sum       %.3f s (%.0f MB/s)\n", theirs, size / theirs);
  std::printf("speed ratio     %.2fx of sha256sum\n", theirs / ours);
  if (made) std::filesystem::remove(file);
}
