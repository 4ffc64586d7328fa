// The tool's command line. The launcher runs it without a shell and reads standard output;
// standard error is the tool's log, in English. `kaldra-update help` lists the commands,
// `kaldra-update help COMMAND` (or `COMMAND --help`) explains one.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kaldra::update {

// Runs one command (`args` without the program name) and returns the exit status: 0 on
// success and for --help and --version, 2 for a command line the tool does not understand
// (the reason and the command's usage line on `err`), 6 when "prepare" finds the game
// running from its folder, and exitStatus() of the failure's kind otherwise.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kaldra::update
