// kaldra-update: the launcher's updater tool. Everything but the entry point lives in
// kaldra_updater_lib.
#include <iostream>
#include <string>
#include <vector>

#include "updater/cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kaldra::update::runCommandLine(args, std::cout, std::cerr);
}
