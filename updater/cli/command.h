// What the command line's parts share: how a command registers its options with the parser
// and what it runs once they are read.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "updater/base/events.h"
#include "updater/texts/languages.h"

namespace kaldra::update {

// A command line the tool does not understand: exit status 2, the reason and the
// command's usage line on standard error.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One command: its parser node, the usage line its errors end with, and what it runs.
struct Command {
  CLI::App* parser = nullptr;
  std::string usage;
  std::function<int(std::ostream& out, std::ostream& err)> run;
};

// Adds a command word below `tool`, with its usage line (the words after the tool's name)
// and a summary for the help.
Command& addCommand(CLI::App& tool, std::vector<Command>& commands, const std::string& name,
                    const std::string& usage, const std::string& summary);

// The commands the launcher runs on a player's machine: texts, version, prepare, verify,
// xplat-check, xplat-fetch.
void addPlayerCommands(CLI::App& tool, std::vector<Command>& commands);

// The publisher's: keygen, publish, check, prune, rotate-key, publish-launcher.
void addPublisherCommands(CLI::App& tool, std::vector<Command>& commands);

// Whether `out` is the tool's standard output and a person's terminal: long commands then
// redraw one line of progress in place.
bool isTerminal(const std::ostream& out);

// How a command's events read on `out`: the launcher's JSON with `json`, else redrawn in
// place on a terminal, else one line each.
EventWriter::Style eventStyle(const std::ostream& out, bool json);

// The --lang value as a language; throws UsageError for an unknown code.
Language languageOption(const std::string& code);

// A platform's name, which becomes a file name on the channel; throws UsageError for
// anything but lower-case letters, digits, "-" and "_".
std::string checkedPlatform(const std::string& platform);

}  // namespace kaldra::update
