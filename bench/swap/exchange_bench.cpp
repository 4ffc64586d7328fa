// exchange_bench A B [ROUNDS]: the time of one atomic exchange of the two folders, the
// step that puts a staged bundle in place. Each round exchanges twice, so A and B end
// as they began. Prints the median per exchange in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/rename_exchange.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: exchange_bench A B [rounds]\n");
    return 2;
  }
  int rounds = argc > 3 ? std::stoi(argv[3]) : 200;
  std::vector<double> micros;
  for (int i = 0; i < 2 * rounds; ++i) {
    auto begin = std::chrono::steady_clock::now();
    if (int error = kaldra::platform::exchangeEntries(argv[1], argv[2]); error != 0) {
      std::fprintf(stderr, "exchange failed: error %d\n", error);
      return 1;
    }
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin)
            .count());
  }
  std::nth_element(micros.begin(), micros.begin() + rounds, micros.end());
  std::printf("%.1f\n", micros[rounds]);
  return 0;
}
