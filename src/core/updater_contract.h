// The updater tool's command lines, in one place. The tool lives at `cfg.updater`; it
// is always run without a shell and inherits the launcher's environment.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kaldra::updater {

// Its exit status when the game already runs from the game folder ("prepare").
inline constexpr int kGameRunning = 6;
// "prepare" refused the channel's manifest as older than one it accepted, or expired: the
// installed files are all there is to play with.
inline constexpr int kChannelStale = 10;

// "texts", lang: prints the text table of `lang` as one JSON object.
std::vector<std::string> textsCommand(const std::string& lang);

// "prepare", "--root", root, "--json", "--lang", lang: brings the game files up to date,
// reporting on standard output as an event stream.
std::vector<std::string> prepareCommand(const std::string& root, const std::string& lang);

// "verify", "--root", root, "--lang", lang: checks the game files offline.
std::vector<std::string> verifyCommand(const std::string& root, const std::string& lang);

// "version": prints the tool's version; run through the architecture switch it proves
// that x86_64 code runs.
std::vector<std::string> versionCommand();

// The launcher-update commands: "xplat-check" answers one JSON object; "xplat-fetch"
// downloads into `outDir` and reports as an event stream. `feed` adds "--feed" and it.
std::vector<std::string> xplatCheckCommand(const std::string& stateDir, const std::string& lang,
                                           const std::optional<std::string>& feed);
std::vector<std::string> xplatFetchCommand(const std::string& stateDir, const std::string& lang,
                                           const std::string& outDir,
                                           const std::optional<std::string>& feed);

}  // namespace kaldra::updater
