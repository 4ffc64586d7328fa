// The tool's own texts for the player: progress labels and error messages of "prepare",
// in all eight languages, sent ready-made in the event stream.
#pragma once

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

// The player's text for a failure of `kind` on the launcher channel.
std::string_view launcherFailureMessage(FailureKind kind, Language language);

}  // namespace kaldra::update
