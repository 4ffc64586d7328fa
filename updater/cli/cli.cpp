#include "updater/cli/cli.h"

#include <sys/utsname.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "swap/bundle_identity.h"
#include "updater/base/events.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunk_store.h"
#include "updater/channel/key_statement.h"
#include "updater/channel/publish.h"
#include "updater/game/game_folder_lock.h"
#include "updater/game/game_process.h"
#include "updater/game/prepare.h"
#include "updater/game/verify.h"
#include "updater/launcher/publish_launcher.h"
#include "updater/launcher/xplat.h"
#include "updater/texts/launcher_texts.h"
#include "updater/texts/messages.h"

namespace kaldra::update {

namespace {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words after the command word: `positional` bare words and the `known` options, of
// which "--json" stands alone and every other takes a value.
struct Options {
  std::map<std::string, std::string> named;
  std::vector<std::string> positional;

  std::optional<std::string> get(const std::string& name) const {
    auto it = named.find(name);
    return it == named.end() ? std::nullopt : std::optional(it->second);
  }
  std::string require(const std::string& name) const {
    auto value = get(name);
    if (!value) throw UsageError("missing " + name);
    return *value;
  }
};

// With `more`, `positional` is the fewest bare words.
Options parseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     std::size_t positional = 0, bool more = false) {
  Options options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const auto& arg = args[i];
    if (!arg.starts_with("--")) {
      options.positional.push_back(arg);
    } else if (std::find(known.begin(), known.end(), arg) == known.end()) {
      throw UsageError("unknown option " + arg);
    } else if (arg == "--json" || arg == "--retire" || arg == "--whole-files" ||
               arg == "--dry-run") {
      options.named[arg] = "";
    } else if (i + 1 < args.size()) {
      options.named[arg] = args[++i];
    } else {
      throw UsageError(arg + " needs a value");
    }
  }
  if (options.positional.size() < positional || (options.positional.size() > positional && !more))
    throw UsageError(args.front() + " takes " + std::to_string(positional) +
                     (more ? " or more" : "") + " bare arguments");
  return options;
}

Language languageOption(const Options& options) {
  auto code = options.get("--lang").value_or("en");
  auto language = parseLanguage(code);
  if (!language) throw UsageError("unknown language \"" + code + "\"");
  return *language;
}

// Days until what is published expires: 30 unless said; 0 publishes it already expired.
unsigned expiresDaysOption(const Options& options) {
  auto text = options.get("--expires-days").value_or("30");
  unsigned days = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
  if (error != std::errc() || end != text.data() + text.size() || days > 3650)
    throw UsageError("--expires-days takes a number of days up to 3650");
  return days;
}

std::filesystem::path rootOption(const Options& options) {
  auto root = options.require("--root");
  if (root.empty()) throw UsageError("empty --root");
  return std::filesystem::absolute(root).lexically_normal();
}

int texts(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw UsageError("texts takes one language code");
  auto json = launcherTextsJson(args[1]);
  if (!json) throw UsageError("unknown language \"" + args[1] + "\"");
  out << *json << "\n";
  return kExitOk;
}

int prepareCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, {"--root", "--json", "--lang"});
  auto root = rootOption(options);
  auto language = languageOption(options);
  if (auto running = processesInside(root, selfAndAncestors()); !running.empty()) {
    err << "prepare: the game is running from " << root.string() << " (pid " << running.front()
        << "); nothing done\n";
    return kExitGameRunning;
  }
  EventWriter events(out, options.get("--json").has_value());
  try {
    GameFolderLock lock(root, true);
    PrepareRequest request{.root = root,
                           .channel = configuredChannel(),
                           .language = language,
                           .threads = workerThreads(),
                           .network = NetworkSettings::fromEnvironment()};
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
    events.error(error.kind(), failureMessage(error.kind(), language));
    return exitStatus(error.kind());
  } catch (const std::exception& error) {
    err << "prepare failed unexpectedly: " << error.what() << "\n";
    events.error(FailureKind::other, failureMessage(FailureKind::other, language));
    return exitStatus(FailureKind::other);
  }
}

int verifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, {"--root", "--lang"});
  auto root = rootOption(options);
  languageOption(options);  // checked for a clear error; the verdict is the exit status
  try {
    GameFolderLock lock(root, false);
    auto summary = verifyFolder(root, workerThreads());
    out << "verified " << summary.files << " files (" << summary.bytes << " bytes) in "
        << root.string() << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "verify failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

// Manifests and feeds are published with the new key once players have taken this.
int rotateKeyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, {"--key", "--new-key", "--retire"}, 1);
  std::filesystem::path channel = options.positional.front();
  try {
    auto readKey = [](const std::string& path) {
      auto pem = readFile(path);
      if (!pem) throw UpdateError(FailureKind::other, "cannot read " + path);
      return *pem;
    };
    auto statement =
        rotateKeys(channel, readKey(options.require("--key")),
                   readKey(options.require("--new-key")), options.get("--retire").has_value());
    out << "the channel's keys are now " << statement.keys.size() << " in "
        << (channel / kKeyStatementName).string() << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "rotate-key failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

int publishCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, {"--version", "--key", "--expires-days", "--whole-files"}, 1);
  std::filesystem::path folder = options.positional.front();
  std::filesystem::path keyFile = options.require("--key");
  try {
    std::string reason;
    auto key = readFile(keyFile, &reason);
    if (!key)
      throw UpdateError(FailureKind::other, "cannot read " + keyFile.string() + ": " + reason);
    auto manifest =
        publishFolder(folder, options.get("--version").value_or(KALDRA_UPDATER_VERSION),
                      workerThreads(), *key, expiresDaysOption(options),
                      options.get("--whole-files") ? Layout::wholeFiles : Layout::chunkStore);
    out << "published " << manifest.files.size() << " files in "
        << (folder / "manifest.json").string() << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "publish failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

// Platform names become file names on the channel.
std::string platformOption(const Options& options) {
  auto platform = options.require("--platform");
  bool plain = !platform.empty() && std::all_of(platform.begin(), platform.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
  if (!plain) throw UsageError("unknown platform \"" + platform + "\"");
  return platform;
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
std::string launcherChannel(const Options& options) {
  if (auto feed = options.get("--feed")) {
    return channelFromSetting(*feed, std::filesystem::current_path());
  }
  auto resources = toolResources();
  auto setting = readFile(resources / "share" / "launcher-channel.txt");
  return setting ? channelFromSetting(*setting, resources) : std::string();
}

XplatRequest xplatRequest(const Options& options) {
  auto state = options.require("--state");
  if (state.empty()) throw UsageError("empty --state");
  return {.channel = launcherChannel(options),
          .platform = platformOption(options),
          .stateDir = std::filesystem::absolute(state),
          .current = bundleInfo(toolResources().parent_path().parent_path())
                         .value_or(BundleIdentity{})
                         .version,
          .system = systemVersion()};
}

const std::vector<std::string> kXplatOptions{"--state", "--platform", "--lang", "--json", "--feed"};

int xplatCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, kXplatOptions);
  auto language = languageOption(options);
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

int xplatFetchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options =
      parseOptions(args, {"--state", "--platform", "--lang", "--json", "--feed", "--out"});
  auto language = languageOption(options);
  auto request = xplatRequest(options);
  auto outDir = std::filesystem::absolute(options.require("--out")).lexically_normal();
  EventWriter events(out, options.get("--json").has_value());
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

int publishLauncherCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err) {
  auto options = parseOptions(args,
                              {"--platform", "--key", "--min-version", "--min-system",
                               "--disk-image-tool", "--expires-days"},
                              2);
  PublishLauncherRequest request{
      .bundle = options.positional[0],
      .channel = options.positional[1],
      .platform = options.get("--platform") ? platformOption(options) : "macos",
      .minVersion = options.get("--min-version").value_or(""),
      .minSystem = options.get("--min-system").value_or(""),
      .privateKey = options.require("--key"),
      .diskImageTool = options.get("--disk-image-tool")
                           .value_or((toolResources() / "platform" / "hdiutil").string()),
      .expiresDays = expiresDaysOption(options)};
  try {
    auto feed = publishLauncher(request);
    out << "published launcher " << feed.version << " for " << feed.platform << " in "
        << (request.channel / launcherFeedName(feed.platform)).string() << "\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "publish-launcher failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

// Removes the store's objects that neither the channel's manifest nor the older manifests
// given name, once no player can still be on those versions.
int pruneCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto options = parseOptions(args, {"--dry-run"}, 1, true);
  std::filesystem::path channel = options.positional.front();
  try {
    std::vector<Manifest> kept;
    options.positional.front() = (channel / kManifestName).string();
    for (const auto& path : options.positional) {
      std::string reason;
      auto bytes = readFile(path, &reason);
      if (!bytes) throw UpdateError(FailureKind::manifest, "cannot read " + path + ": " + reason);
      kept.push_back(parseManifest(*bytes));
    }
    bool dryRun = options.get("--dry-run").has_value();
    auto pruned = ChunkStore(channel).prune(kept, dryRun);
    out << (dryRun ? "would remove " : "removed ") << pruned.objects << " objects (" << pruned.bytes
        << " bytes) that no kept manifest names\n";
    return kExitOk;
  } catch (const UpdateError& error) {
    err << "prune failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty())
      throw UsageError(
          "no command (texts, version, prepare, verify, publish, prune, rotate-key, "
          "xplat-check, xplat-fetch, publish-launcher)");
    const auto& command = args.front();
    if (command == "texts") return texts(args, out);
    if (command == "version") {
      if (args.size() != 1) throw UsageError("version takes no arguments");
      out << KALDRA_UPDATER_VERSION << "\n";
      return kExitOk;
    }
    if (command == "prepare") return prepareCommand(args, out, err);
    if (command == "verify") return verifyCommand(args, out, err);
    if (command == "publish") return publishCommand(args, out, err);
    if (command == "xplat-check") return xplatCheckCommand(args, out, err);
    if (command == "xplat-fetch") return xplatFetchCommand(args, out, err);
    if (command == "publish-launcher") return publishLauncherCommand(args, out, err);
    if (command == "rotate-key") return rotateKeyCommand(args, out, err);
    if (command == "prune") return pruneCommand(args, out, err);
    throw UsageError("command \"" + command + "\" is not supported");
  } catch (const UsageError& error) {
    err << "kaldra-update: " << error.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& error) {
    err << "kaldra-update: unexpected failure: " << error.what() << "\n";
    return exitStatus(FailureKind::other);
  }
}

}  // namespace kaldra::update
