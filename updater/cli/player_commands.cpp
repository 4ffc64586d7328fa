// The commands the launcher runs. Their words, output and exit statuses are the launcher's
// contract: texts, version, prepare, verify, xplat-check, xplat-fetch.
#include <sys/utsname.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "swap/bundle_identity.h"
#include "updater/base/events.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/folder_lock.h"
#include "updater/base/parallel.h"
#include "updater/base/progress_line.h"
#include "updater/channel/channel.h"
#include "updater/cli/command.h"
#include "updater/game/game_process.h"
#include "updater/game/prepare.h"
#include "updater/game/verify.h"
#include "updater/launcher/xplat.h"
#include "updater/texts/launcher_texts.h"
#include "updater/texts/messages.h"

namespace kaldra::update {

namespace {

std::filesystem::path rootOption(const std::string& root) {
  if (root.empty()) throw UsageError("empty --root");
  return std::filesystem::absolute(root).lexically_normal();
}

struct GameOptions {
  std::string root;
  std::string lang = "en";
  bool json = false;
};

void addGameOptions(CLI::App& command, GameOptions& options, bool json) {
  command.add_option("--root", options.root, "the game folder")->required();
  command.add_option("--lang", options.lang, "the player's language: de en tr pl ro es fr it");
  if (json) command.add_flag("--json", options.json, "events as JSON lines, for the launcher");
}

int prepareCommand(const GameOptions& options, std::ostream& out, std::ostream& err) {
  auto root = rootOption(options.root);
  auto language = languageOption(options.lang);
  if (auto running = processesInside(root, selfAndAncestors()); !running.empty()) {
    err << "prepare: the game is running from " << root.string() << " (pid " << running.front()
        << "); nothing done\n";
    return kExitGameRunning;
  }
  EventWriter events(out, eventStyle(out, options.json));
  try {
    FolderLock lock(root, true);
    PrepareRequest request{
        .root = root,
        .channel = configuredChannel(),
        .language = language,
        .threads = workerThreads(),
        .network = NetworkSettings::fromEnvironment(),
        .note = [&err](const std::string& line) { err << "prepare: " << line << "\n"; }};
    err << "prepare: channel " << request.channel << ", game folder " << root.string() << "\n";
    auto summary = prepare(request, events);
    if (summary.unchanged) {
      err << "prepare: version " << summary.version << ", unchanged since the last run\n";
    } else {
      err << "prepare: version " << summary.version << ", " << summary.files << " files; "
          << summary.filesRead << " read, " << summary.filesDownloaded << " downloaded ("
          << summary.bytesDownloaded << " bytes)\n";
    }
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "prepare failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    events.error(error.kind(),
                 error.user().empty() ? failureMessage(error.kind(), language) : error.user());
    return exitStatus(error.kind());
  } catch (const std::exception& error) {
    err << "prepare failed unexpectedly: " << error.what() << "\n";
    events.error(FailureKind::other, failureMessage(FailureKind::other, language));
    return exitStatus(FailureKind::other);
  }
}

int verifyCommand(const GameOptions& options, std::ostream& out, std::ostream& err) {
  auto root = rootOption(options.root);
  languageOption(options.lang);  // checked for a clear error; the verdict is the exit status
  try {
    FolderLock lock(root, false);
    std::optional<ProgressLine> line;
    if (isTerminal(out)) line.emplace(out);
    auto summary =
        verifyFolder(root, workerThreads(), [&](std::uint64_t done, std::uint64_t total) {
          if (line) line->showBytes("Verifying", done, total);
        });
    line.reset();
    out << "verified " << summary.files << " files (" << summary.bytes << " bytes) in "
        << root.string() << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "verify failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

struct XplatOptions {
  std::string state;
  std::string platform;
  std::string lang = "en";
  bool json = false;
  std::optional<std::string> feed;
  std::string out;
};

void addXplatOptions(CLI::App& command, XplatOptions& options) {
  command.add_option("--state", options.state, "the launcher's data folder")->required();
  command.add_option("--platform", options.platform, "the platform's name, such as macos")
      ->required();
  command.add_option("--lang", options.lang, "the player's language: de en tr pl ro es fr it");
  command.add_flag("--json", options.json, "answers as JSON, for the launcher");
  command.add_option("--feed", options.feed,
                     "the launcher channel (a URL or a folder); default: the bundle's own");
}

// The release of the running system's kernel, such as "6.1.0".
std::string systemVersion() {
  utsname name{};
  if (::uname(&name) != 0) return "0";
  std::string release = name.release;
  return release.substr(0, release.find_first_not_of("0123456789."));
}

// The --feed value, or the bundle's default in share/launcher-channel.txt; empty when
// neither names a channel.
std::string launcherChannel(const XplatOptions& options) {
  if (options.feed) return channelFromSetting(*options.feed, std::filesystem::current_path());
  auto resources = toolResources();
  auto setting = readFile(resources / "share" / "launcher-channel.txt");
  return setting ? channelFromSetting(*setting, resources) : std::string();
}

XplatRequest xplatRequest(const XplatOptions& options) {
  if (options.state.empty()) throw UsageError("empty --state");
  return {.channel = launcherChannel(options),
          .platform = checkedPlatform(options.platform),
          .stateDir = std::filesystem::absolute(options.state),
          .current = bundleInfo(toolResources().parent_path().parent_path())
                         .value_or(BundleIdentity{})
                         .version,
          .system = systemVersion()};
}

int xplatCheckCommand(const XplatOptions& options, std::ostream& out, std::ostream& err) {
  auto language = languageOption(options.lang);
  auto request = xplatRequest(options);
  if (request.channel.empty()) {
    err << "xplat-check: no launcher channel is configured; no update\n";
    out << checkResultJson({}, {}, request.current) << "\n";
    return kExitOk;
  }
  try {
    auto settings = NetworkSettings::fromEnvironment();
    Transfer transfer(settings);
    auto feed = loadLauncherFeed(transfer, request, settings);
    auto skip = skippedVersion(request.stateDir);
    auto decision = decide(feed, request, skip);
    err << "xplat-check: " << request.channel << " offers " << feed.version << " (running "
        << request.current << (skip ? ", skipping " + *skip : std::string()) << ")\n";
    out << checkResultJson(decision, feed, request.current) << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    // One object that is both an error event and an answer of "no update".
    err << "xplat-check failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    nlohmann::ordered_json answer{{"type", "error"},
                                  {"kind", kindName(error.kind())},
                                  {"user", launcherFailureMessage(error.kind(), language)},
                                  {"update", false},
                                  {"current", request.current}};
    out << answer.dump() << "\n";
    return exitStatus(error.kind());
  }
}

int xplatFetchCommand(const XplatOptions& options, std::ostream& out, std::ostream& err) {
  auto language = languageOption(options.lang);
  auto request = xplatRequest(options);
  auto outDir = std::filesystem::absolute(options.out).lexically_normal();
  EventWriter events(out, eventStyle(out, options.json));
  try {
    if (request.channel.empty())
      throw UpdateError(FailureKind::other, "no launcher channel is configured");
    auto settings = NetworkSettings::fromEnvironment();
    Transfer transfer(settings);
    auto feed = loadLauncherFeed(transfer, request, settings);
    err << "xplat-fetch: " << request.channel << " offers " << feed.version << "\n";
    auto label = std::string(launcherText("xplat_downloading", language)) + " " + feed.version;
    auto image = fetchLauncherImage(transfer, request, feed, outDir, settings, events, label);
    err << "xplat-fetch: " << image.path.string() << " (" << feed.size << " bytes, "
        << image.received << " of them fetched in this run) matches the feed\n";
    events.xplatFile(image.path.string(), feed.sha256, feed.version);
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "xplat-fetch failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    events.error(error.kind(), launcherFailureMessage(error.kind(), language));
    return exitStatus(error.kind());
  }
}

}  // namespace

std::string checkedPlatform(const std::string& platform) {
  bool plain = !platform.empty() && std::all_of(platform.begin(), platform.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
  if (!plain) throw UsageError("unknown platform \"" + platform + "\"");
  return platform;
}

Language languageOption(const std::string& code) {
  auto language = parseLanguage(code);
  if (!language) throw UsageError("unknown language \"" + code + "\"");
  return *language;
}

void addPlayerCommands(CLI::App& tool, std::vector<Command>& commands) {
  auto lang = std::make_shared<std::string>();
  auto& texts = addCommand(tool, commands, "texts", "texts LANG",
                           "Print the launcher's texts in one language as a JSON object.");
  texts.parser->add_option("LANG", *lang, "de en tr pl ro es fr it")->required();
  texts.run = [lang](std::ostream& out, std::ostream&) {
    auto json = launcherTextsJson(*lang);
    if (!json) throw UsageError("unknown language \"" + *lang + "\"");
    out << *json << "\n";
    return kExitOk;
  };

  addCommand(tool, commands, "version", "version", "Print the tool's version.").run =
      [](std::ostream& out, std::ostream&) {
        out << KALDRA_UPDATER_VERSION << "\n";
        return kExitOk;
      };

  auto game = std::make_shared<GameOptions>();
  auto& prepare = addCommand(
      tool, commands, "prepare", "prepare --root DIR [--json] [--lang LANG]",
      "Bring the game folder up to the channel's newest version (KALDRA_UPDATE_CHANNEL, or the "
      "bundle's share/update-channel.txt). Exit 6: the game runs from the folder.");
  addGameOptions(*prepare.parser, *game, true);
  prepare.run = [game](std::ostream& out, std::ostream& err) {
    return prepareCommand(*game, out, err);
  };
  auto& verify =
      addCommand(tool, commands, "verify", "verify --root DIR [--lang LANG]",
                 "Check every file of the game folder against the version last installed, "
                 "offline.");
  addGameOptions(*verify.parser, *game, false);
  verify.run = [game](std::ostream& out, std::ostream& err) {
    return verifyCommand(*game, out, err);
  };

  auto xplat = std::make_shared<XplatOptions>();
  auto& check =
      addCommand(tool, commands, "xplat-check",
                 "xplat-check --state DIR --platform P [--lang LANG] [--json] [--feed CHANNEL]",
                 "Say whether the launcher channel offers a newer launcher, as one JSON object.");
  addXplatOptions(*check.parser, *xplat);
  check.run = [xplat](std::ostream& out, std::ostream& err) {
    return xplatCheckCommand(*xplat, out, err);
  };
  auto& fetch = addCommand(
      tool, commands, "xplat-fetch",
      "xplat-fetch --state DIR --platform P --out DIR [--lang LANG] [--json] [--feed CHANNEL]",
      "Download the offered launcher's disk image into --out, checked against the feed.");
  addXplatOptions(*fetch.parser, *xplat);
  fetch.parser->add_option("--out", xplat->out, "the download folder")->required();
  fetch.run = [xplat](std::ostream& out, std::ostream& err) {
    return xplatFetchCommand(*xplat, out, err);
  };
}

}  // namespace kaldra::update
