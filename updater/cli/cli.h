// The tool's command line. The launcher runs it without a shell and reads standard output;
// standard error is the tool's log, in English.
//
//   kaldra-update texts LANG
//   kaldra-update version
//   kaldra-update prepare --root DIR [--json] [--lang LANG]
//   kaldra-update verify --root DIR [--lang LANG]
//   kaldra-update publish DIR --key PRIVATE_KEY_PEM [--version VERSION]
//   kaldra-update xplat-check --state DIR --platform P [--lang LANG] [--json] [--feed URL]
//   kaldra-update xplat-fetch --state DIR --platform P --out DIR [--lang LANG] [--json]
//                 [--feed URL]
//   kaldra-update publish-launcher BUNDLE CHANNEL --key PRIVATE_KEY_PEM [--platform P]
//                 [--min-version V] [--min-system V] [--disk-image-tool PATH]
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kaldra::update {

// Runs one command (`args` without the program name) and returns the exit status: 0 on
// success, 2 for a command line the tool does not understand, 6 when "prepare" finds the
// game running from its folder, and exitStatus() of the failure's kind otherwise.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kaldra::update
