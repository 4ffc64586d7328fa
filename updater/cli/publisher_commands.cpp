// The publisher's commands: keys, publishing the game and the launcher, pruning the store.
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "swap/bundle_identity.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/folder_lock.h"
#include "updater/base/parallel.h"
#include "updater/base/progress_line.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/channel_check.h"
#include "updater/channel/chunk_store.h"
#include "updater/channel/freshness.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/key_file.h"
#include "updater/channel/patches.h"
#include "updater/channel/publish.h"
#include "updater/channel/publish_filter.h"
#include "updater/cli/command.h"
#include "updater/launcher/publish_launcher.h"
#include "updater/launcher/xplat.h"

namespace kaldra::update {

namespace {

// Runs `work`, turning its failure into the log line and the exit status of its kind.
template <typename Work>
int reported(const char* command, std::ostream& err, Work&& work) {
  try {
    return work();
  } catch (const UpdateError& error) {
    err << command << " failed (" << kindName(error.kind()) << "): " << error.what() << "\n";
    return exitStatus(error.kind());
  }
}

std::string readKey(const std::string& path) {
  std::string reason;
  auto pem = readFile(path, &reason);
  if (!pem) throw UpdateError(FailureKind::other, "cannot read " + path + ": " + reason);
  return *pem;
}

// How long a command waits for another one on the same channel folder.
void addWait(CLI::App& command, unsigned& seconds) {
  command.add_option("--wait", seconds,
                     "seconds to wait while another publish, prune, rotate-key or "
                     "publish-launcher works on the channel (default 60), then fail as busy");
}

// One writer at a time on a channel folder.
FolderLock lockChannel(const std::filesystem::path& channel, unsigned waitSeconds) {
  return FolderLock(channel, true, std::chrono::seconds(waitSeconds));
}

// Days until what is published expires.
CLI::Option* addExpiresDays(CLI::App& command, unsigned& days) {
  return command
      .add_option("--expires-days", days,
                  "days until players refuse it unless it is published again (default 30)")
      ->check(CLI::Range(1u, 3650u));
}

struct PublishOptions {
  unsigned wait = 60;
  std::string folder;
  std::string key;
  std::string version;
  unsigned expiresDays = 30;
  bool wholeFiles = false;
  bool dryRun = false;
  bool noPatches = false;
  std::vector<std::string> excludes;
};

// Decimal units, as players' disks are sold: "950 B", "292 KB", "52.7 MB", "1.20 GB".
std::string bytesText(std::uint64_t bytes) {
  constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < std::size(kUnits)) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text,
                unit == 0 || value >= 100 ? "%.0f %s"
                : value >= 10             ? "%.1f %s"
                                          : "%.2f %s",
                value, kUnits[unit]);
  return text;
}

// Numbers separated by dots, each a number players' tools compare as such.
void requireNewerVersion(const std::string& version, const std::optional<Manifest>& previous) {
  bool dotted = !version.empty() && version.front() != '.' && version.back() != '.' &&
                version.find("..") == std::string::npos &&
                version.find_first_not_of("0123456789.") == std::string::npos;
  if (!dotted) throw UsageError("--version takes numbers separated by dots, such as 1.0.4");
  if (previous && cmpVersion(version, previous->version) <= 0 &&
      previous->version.find_first_not_of("0123456789.") == std::string::npos)
    throw UpdateError(FailureKind::other, "the channel holds version " + previous->version +
                                              " already; publish a greater version than that");
}

void printReport(const PublishReport& report, const PublishOptions& options, std::ostream& out) {
  const auto& manifest = report.manifest;
  out << (options.dryRun ? "dry run: " : "") << "publishing " << manifest.version
      << (report.previous ? " over " + report.previous->version : std::string()) << " in "
      << options.folder << "\n";
  std::map<std::string, std::uint64_t> sizes;
  for (const auto& file : manifest.files) sizes[file.path] = file.size;
  for (const auto& [word, paths] :
       {std::pair{"added  ", &report.added}, {"changed", &report.changed}})
    for (const auto& path : *paths)
      out << "  " << word << "  " << path << " (" << bytesText(sizes[path]) << ")\n";
  for (const auto& path : report.removed) out << "  removed  " << path << "\n";
  if (!report.private_.empty()) {
    out << "warning: " << report.private_.size()
        << " files look like nothing to ship (hidden, version control, editor backups):";
    for (std::size_t i = 0; i < std::min<std::size_t>(report.private_.size(), 5); ++i)
      out << " " << report.private_[i];
    out << (report.private_.size() > 5 ? " ..." : "") << "; leave them out with --exclude or "
        << kIgnoreFileName << "\n";
  }
  if (!options.wholeFiles)
    out << "the store " << (options.dryRun ? "would grow" : "grew") << " by "
        << bytesText(report.storeGrowth) << " (" << report.newObjects << " objects)\n";
  if (!report.patches.patches.empty())
    out << "patches for players on " << report.previous->version << ": "
        << report.patches.patches.size() << " files, " << bytesText(report.patches.bytes) << "\n";
  if (report.previous)
    out << "players on " << report.previous->version << " " << (options.dryRun ? "would" : "will")
        << " fetch about " << bytesText(report.fetchFromPrevious) << "; a new player "
        << bytesText(report.fetchFresh) << "\n";
  out << "players refuse it after " << utcDate(*manifest.freshness.expires)
      << " unless it is published again before then\n";
  out << (options.dryRun ? "dry run: nothing written"
                         : "published " + std::to_string(manifest.files.size()) + " files in " +
                               (std::filesystem::path(options.folder) / kManifestName).string())
      << "\n";
}

struct RotateOptions {
  unsigned wait = 60;
  std::string channel;
  std::string key;
  std::string newKey;
  bool retire = false;
};

struct PruneOptions {
  unsigned wait = 60;
  std::string channel;
  std::vector<std::string> olderManifests;
  bool dryRun = false;
};

struct LauncherOptions {
  unsigned wait = 60;
  std::string bundle;
  std::string channel;
  std::string key;
  std::string platform = "macos";
  std::string minVersion;
  std::string minSystem;
  std::optional<std::string> diskImageTool;
  unsigned expiresDays = 30;
};

void addPublish(CLI::App& tool, std::vector<Command>& commands) {
  auto options = std::make_shared<PublishOptions>();
  auto& publish = addCommand(
      tool, commands, "publish",
      "publish DIR --key KEY --version VERSION [--expires-days N] [--exclude PATTERN]... "
      "[--dry-run] [--whole-files] [--wait S]",
      "Turn the folder of game files DIR into a channel: store what changed in its "
      "kaldra-store/, then write and sign manifest.json.");
  auto& parser = *publish.parser;
  parser.add_option("DIR", options->folder, "the game files, and the channel they become")
      ->required();
  parser.add_option("--key", options->key, "the private key (PEM) that signs the manifest")
      ->required();
  parser.add_option("--version", options->version, "the version players will see")->required();
  addExpiresDays(parser, options->expiresDays);
  parser.add_flag("--whole-files", options->wholeFiles,
                  "no chunk store: every player fetches changed files whole");
  parser.add_option("--exclude", options->excludes,
                    "leave out what matches PATTERN (repeatable; see also " +
                        std::string(kIgnoreFileName) +
                        " in DIR): a name such as *.pdb, a "
                        "folder such as logs/, a path such as data/dev/*");
  parser.add_flag("--dry-run", options->dryRun, "say what publishing would do, and write nothing");
  parser.add_flag("--no-patches", options->noPatches,
                  "make no patches from the previous version (they follow the manifest)");
  addWait(parser, options->wait);
  publish.run = [options](std::ostream& out, std::ostream& err) {
    return reported("publish", err, [&] {
      std::filesystem::path folder = options->folder;
      auto lock = lockChannel(folder, options->wait);
      requireNewerVersion(options->version, readManifest(folder / kManifestName));
      std::optional<ProgressLine> line;
      if (isTerminal(out)) line.emplace(out);
      auto report =
          publishFolder({.folder = folder,
                         .version = options->version,
                         .privateKeyPem = readKey(options->key),
                         .threads = workerThreads(),
                         .expiresDays = options->expiresDays,
                         .layout = options->wholeFiles ? Layout::wholeFiles : Layout::chunkStore,
                         .excludes = options->excludes,
                         .dryRun = options->dryRun,
                         .patches = !options->noPatches,
                         .progress = [&](std::uint64_t done, std::uint64_t total) {
                           if (line) line->showBytes("Publishing", done, total);
                         }});
      line.reset();
      printReport(report, *options, out);
      return kExitOk;
    });
  };
}

void addRotateKey(CLI::App& tool, std::vector<Command>& commands) {
  auto options = std::make_shared<RotateOptions>();
  auto& rotate = addCommand(
      tool, commands, "rotate-key",
      "rotate-key CHANNEL --key KEY --new-key NEW_KEY [--retire] [--wait S]",
      "Add NEW_KEY to the keys that may sign the channel, in a statement signed with KEY; "
      "--retire takes KEY away. Publish with the new key once players have taken it.");
  auto& parser = *rotate.parser;
  parser.add_option("CHANNEL", options->channel, "the channel folder")->required();
  parser.add_option("--key", options->key, "a private key the channel trusts now")->required();
  parser.add_option("--new-key", options->newKey, "the private key to trust from now on")
      ->required();
  parser.add_flag("--retire", options->retire, "stop trusting KEY");
  addWait(parser, options->wait);
  rotate.run = [options](std::ostream& out, std::ostream& err) {
    return reported("rotate-key", err, [&] {
      std::filesystem::path channel = options->channel;
      auto lock = lockChannel(channel, options->wait);
      auto statement =
          rotateKeys(channel, readKey(options->key), readKey(options->newKey), options->retire);
      out << "the channel's keys are now " << statement.keys.size() << " in "
          << (channel / kKeyStatementName).string() << "\n";
      return kExitOk;
    });
  };
}

// Removes the store's objects that neither the channel's manifest nor the older manifests
// given name, once no player can still be on those versions.
void addPrune(CLI::App& tool, std::vector<Command>& commands) {
  auto options = std::make_shared<PruneOptions>();
  auto& prune = addCommand(
      tool, commands, "prune", "prune CHANNEL [OLDER_MANIFEST...] [--dry-run] [--wait S]",
      "Remove the store's objects that neither the channel's manifest nor the older manifests "
      "given name.");
  auto& parser = *prune.parser;
  parser.add_option("CHANNEL", options->channel, "the channel folder")->required();
  parser.add_option("OLDER_MANIFEST", options->olderManifests,
                    "copies of manifests players may still be on");
  parser.add_flag("--dry-run", options->dryRun, "only count what would go");
  addWait(parser, options->wait);
  prune.run = [options](std::ostream& out, std::ostream& err) {
    return reported("prune", err, [&] {
      std::filesystem::path channel = options->channel;
      auto lock = lockChannel(channel, options->wait);
      std::vector<std::string> paths{(channel / kManifestName).string()};
      paths.insert(paths.end(), options->olderManifests.begin(), options->olderManifests.end());
      std::vector<Manifest> kept;
      std::vector<std::string> patches;
      for (const auto& path : paths) {
        std::string reason;
        auto bytes = readFile(path, &reason);
        if (!bytes) throw UpdateError(FailureKind::manifest, "cannot read " + path + ": " + reason);
        kept.push_back(parseManifest(*bytes));
        auto named = patchObjectsOf(channel, sha256Hex(*bytes));
        patches.insert(patches.end(), named.begin(), named.end());
      }
      auto pruned = ChunkStore(channel).prune(kept, options->dryRun, patches);
      out << (options->dryRun ? "would remove " : "removed ") << pruned.objects << " objects ("
          << pruned.bytes << " bytes) that no kept manifest names\n";
      return kExitOk;
    });
  };
}

void addPublishLauncher(CLI::App& tool, std::vector<Command>& commands) {
  auto options = std::make_shared<LauncherOptions>();
  auto& publish = addCommand(
      tool, commands, "publish-launcher",
      "publish-launcher BUNDLE CHANNEL --key KEY [--platform P] [--min-version V] "
      "[--min-system V] [--disk-image-tool PATH] [--expires-days N] [--wait S]",
      "Offer the launcher bundle BUNDLE on the launcher channel CHANNEL: its disk image, "
      "then the signed feed.");
  auto& parser = *publish.parser;
  parser.add_option("BUNDLE", options->bundle, "the new Kaldrith.app")->required();
  parser.add_option("CHANNEL", options->channel, "the launcher channel folder")->required();
  parser.add_option("--key", options->key, "the private key (PEM) that signs the feed")->required();
  parser.add_option("--platform", options->platform, "the platform's name (default macos)");
  parser.add_option("--min-version", options->minVersion, "launchers older than this must update");
  parser.add_option("--min-system", options->minSystem, "systems older than this cannot update");
  parser.add_option("--disk-image-tool", options->diskImageTool,
                    "the disk-image tool (default: the bundle's platform/hdiutil)");
  addExpiresDays(parser, options->expiresDays);
  addWait(parser, options->wait);
  publish.run = [options](std::ostream& out, std::ostream& err) {
    PublishLauncherRequest request{.bundle = options->bundle,
                                   .channel = options->channel,
                                   .platform = checkedPlatform(options->platform),
                                   .minVersion = options->minVersion,
                                   .minSystem = options->minSystem,
                                   .privateKey = options->key,
                                   .diskImageTool = options->diskImageTool.value_or(
                                       (toolResources() / "platform" / "hdiutil").string()),
                                   .expiresDays = options->expiresDays};
    return reported("publish-launcher", err, [&] {
      auto lock = lockChannel(request.channel, options->wait);
      std::optional<ProgressLine> line;
      if (isTerminal(out))
        line.emplace(out).show("Building the disk image and signing the feed", 0);
      auto feed = publishLauncher(request);
      line.reset();
      out << "published launcher " << feed.version << " for " << feed.platform << " in "
          << (request.channel / launcherFeedName(feed.platform)).string() << "\n";
      return kExitOk;
    });
  };
}

void addKeygen(CLI::App& tool, std::vector<Command>& commands) {
  auto path = std::make_shared<std::string>();
  auto& keygen = addCommand(
      tool, commands, "keygen", "keygen PATH",
      "Make a new Ed25519 private key at PATH, readable by you alone and never written over "
      "another file, and print its public half. Keep it secret and backed up: whoever holds "
      "it can publish to every player.");
  keygen.parser->add_option("PATH", *path, "where the new private key (PEM) goes")->required();
  keygen.run = [path](std::ostream& out, std::ostream& err) {
    return reported("keygen", err, [&] {
      auto pem = generatePrivateKeyPem();
      writeNewPrivateKey(*path, pem);
      out << "made the private key " << *path << "; its public key is " << toHex(publicKeyOf(pem))
          << "\n";
      return kExitOk;
    });
  };
}

void addCheck(CLI::App& tool, std::vector<Command>& commands) {
  auto channel = std::make_shared<std::string>();
  auto& check = addCommand(
      tool, commands, "check", "check CHANNEL",
      "Read the channel (a folder or an http(s) URL) as a new player would, trusting only the "
      "key built into this tool, and fetch every object its manifest names. Run it after "
      "every upload. One line per problem; exit 5 when there is one.");
  check.parser->add_option("CHANNEL", *channel, "the channel: a folder or a URL")->required();
  check.run = [channel](std::ostream& out, std::ostream& err) {
    return reported("check", err, [&] {
      auto url = channelFromSetting(*channel, std::filesystem::current_path());
      if (url.empty()) throw UsageError("empty CHANNEL");
      constexpr unsigned kConnections = 8;
      auto report = checkChannel(url, NetworkSettings::fromEnvironment(), kConnections, unixNow());
      out << "key statement " << report.keys << "; version " << report.version << ", "
          << report.files << " files"
          << (report.expires ? ", expires " + utcDate(*report.expires) : std::string()) << "\n";
      for (const auto& line : report.problems) out << line << "\n";
      for (const auto& line : report.warnings) out << "warning: " << line << "\n";
      out << "checked " << report.objects << " objects: "
          << (report.problems.empty() ? std::string("no problems")
                                      : std::to_string(report.problems.size()) + " problems")
          << "\n";
      return report.problems.empty() ? kExitOk : exitStatus(FailureKind::integrity);
    });
  };
}

}  // namespace

void addPublisherCommands(CLI::App& tool, std::vector<Command>& commands) {
  addKeygen(tool, commands);
  addPublish(tool, commands);
  addCheck(tool, commands);
  addPrune(tool, commands);
  addRotateKey(tool, commands);
  addPublishLauncher(tool, commands);
}

}  // namespace kaldra::update
