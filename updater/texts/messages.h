// The tool's own texts for the player: progress labels and error messages of "prepare",
// in all eight languages, sent ready-made in the event stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/texts/languages.h"

namespace kaldra::update {

enum class Message {
  loadingManifest,
  checkingFiles,
  downloading,
  finishing,
  readyUnchanged,  // nothing was read or downloaded: every file matched its cached stamp
  readyChecked,    // files were read and all matched
  readyUpdated,    // files were downloaded
};

std::string_view message(Message message, Language language);

// The player's text for a failure of `kind`. An unexpected failure ends with a colon: the
// launcher appends the path of the tool's log.
std::string_view failureMessage(FailureKind kind, Language language);

// The server answered that the game's list of files is not there (404, 410) or not for
// this player (403): the channel is wrong or withdrawn, not the connection.
std::string_view notOfferedMessage(Language language);

// Too little free space in `folder` for the update: `neededMb` megabytes, `freeMb` free.
std::string spaceMessage(std::uint64_t neededMb, const std::string& folder, std::uint64_t freeMb,
                         Language language);

// The player's text for a failure of `kind` on the launcher channel.
std::string_view launcherFailureMessage(FailureKind kind, Language language);

}  // namespace kaldra::update
