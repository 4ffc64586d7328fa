// The launcher's steps that start a bundle exchange, inside a copy of the real bundle:
// "prepare OP SOURCE TARGET FROM TO" runs the real preparation, whose helper is this
// program again ("--kaldra-swap PLAN"), running the real helper.
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "swap/prepare_swap.h"
#include "swap/swap_error.h"
#include "swap/swap_helper.h"

int main(int argc, char** argv) {
  using namespace kaldra;
  auto facts = readPlatformFacts();
  if (!facts) return 1;
  cfg = computeConfig(*facts);
  if (argc == 3 && std::strcmp(argv[1], "--kaldra-swap") == 0) return runSwapHelper(argv[2]);
  if (argc != 7 || std::strcmp(argv[1], "prepare") != 0) return 2;
  try {
    prepareSwap(argv[2], argv[3], argv[4], argv[5], argv[6]);
  } catch (const SwapError& e) {
    std::printf("%s\n", e.text.c_str());
    return 1;
  }
  return 0;
}
