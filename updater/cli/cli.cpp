#include "updater/cli/cli.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "updater/base/failure.h"
#include "updater/cli/command.h"

namespace kaldra::update {

namespace {

constexpr const char* kToolName = "kaldra-update";

constexpr const char* kExitStatuses =
    "Exit status: 0 done, 1 other failure, 2 a command line the tool does not understand, "
    "3 network, 4 disk, 5 integrity (a file or object is not what its digest says), "
    "6 the game runs from the game folder (prepare), 7 a damaged manifest, feed or key "
    "statement, 8 a missing or wrong signature, 9 busy (another run holds the folder), "
    "10 stale (older than what was accepted before, or expired).\n"
    "Run 'kaldra-update help COMMAND' for a command's options.";

int usageFailure(std::ostream& err, const std::string& reason, const std::string& usage) {
  err << kToolName << ": " << reason << "\nusage: " << kToolName << " " << usage << "\n";
  return kExitUsage;
}

}  // namespace

bool isTerminal(const std::ostream& out) {
  return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1;
}

EventWriter::Style eventStyle(const std::ostream& out, bool json) {
  if (json) return EventWriter::Style::json;
  return isTerminal(out) ? EventWriter::Style::terminal : EventWriter::Style::lines;
}

Command& addCommand(CLI::App& tool, std::vector<Command>& commands, const std::string& name,
                    const std::string& usage, const std::string& summary) {
  auto* parser = tool.add_subcommand(name, summary);
  parser->footer("Usage: " + std::string(kToolName) + " " + usage);
  return commands.emplace_back(Command{.parser = parser, .usage = usage});
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App tool(
      "The updater tool of the Kaldrith launcher: brings the game and the launcher "
      "up to date for players, and publishes them for publishers.",
      kToolName);
  tool.set_version_flag("--version", std::string(kToolName) + " " + KALDRA_UPDATER_VERSION);
  tool.require_subcommand(1);
  tool.footer(kExitStatuses);
  std::vector<Command> commands;
  addPlayerCommands(tool, commands);
  addPublisherCommands(tool, commands);
  std::string helpTopic;
  auto* help = tool.add_subcommand("help", "Show the help of the tool or of one command.");
  help->add_option("COMMAND", helpTopic, "the command to explain");

  auto chosen = [&]() -> const Command* {
    for (const auto& command : commands)
      if (command.parser->parsed()) return &command;
    return nullptr;
  };
  const std::string toolUsage = "COMMAND [OPTIONS] (or: help [COMMAND], --version)";
  auto named = [&](const std::string& name) {
    return std::find_if(commands.begin(), commands.end(),
                        [&](const Command& c) { return c.parser->get_name() == name; });
  };
  if (!args.empty() && !args.front().starts_with("-") && args.front() != "help" &&
      named(args.front()) == commands.end())
    return usageFailure(err, "no command \"" + args.front() + "\"", toolUsage);
  try {
    tool.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::CallForHelp& request) {
    return tool.exit(request, out, err);
  } catch (const CLI::CallForVersion& request) {
    return tool.exit(request, out, err);
  } catch (const CLI::ParseError& error) {
    auto* command = chosen();
    return usageFailure(err, error.what(), command ? command->usage : toolUsage);
  }

  if (help->parsed()) {
    if (helpTopic.empty()) {
      out << tool.get_formatter()->make_help(&tool, kToolName, CLI::AppFormatMode::Normal);
      return kExitOk;
    }
    auto it = named(helpTopic);
    if (it == commands.end())
      return usageFailure(err, "no command \"" + helpTopic + "\"", "help [COMMAND]");
    out << it->parser->help(kToolName);
    return kExitOk;
  }
  const Command* command = chosen();
  try {
    return command->run(out, err);
  } catch (const UsageError& error) {
    return usageFailure(err, error.what(), command->usage);
  } catch (const std::exception& error) {
    err << kToolName << ": unexpected failure: " << error.what() << "\n";
    return exitStatus(FailureKind::other);
  }
}

}  // namespace kaldra::update
