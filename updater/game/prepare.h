// "prepare": brings the game folder up to date with the channel, reporting progress as
// events. Files the manifest does not list are left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "updater/base/events.h"
#include "updater/net/network_settings.h"
#include "updater/texts/languages.h"

namespace kaldra::update {

struct PrepareRequest {
  std::filesystem::path root;  // the game folder, absolute; created when missing
  std::string channel;         // folder URL holding manifest.json and the files
  Language language = Language::en;
  unsigned threads = 1;  // for hashing
  NetworkSettings network;
  // Receives the lines worth a publisher's look that do not end the run (English).
  std::function<void(const std::string&)> note = [](const std::string&) {};
};

struct PrepareSummary {
  std::string version;     // the manifest's
  bool unchanged = false;  // the folder was confirmed with stat alone; nothing else is counted
  std::size_t files = 0;
  std::size_t filesRead = 0;  // game files whose content had to be hashed
  std::size_t filesDownloaded = 0;
  std::uint64_t bytesDownloaded = 0;
};

// Fetches the manifest. When it is the one the folder matched last time and no file's stamp
// has changed since, that is all. Otherwise finds the stale files (scanFolder) and
// downloads each (downloadFile), keeping the file cache and, once the folder matches, the
// manifest for "verify". The last event is a progress event at 100 percent.
//
// Up to eight files are fetched at once. Throws UpdateError; what was installed before the
// failure stays, and is remembered; downloads cut short stay in the partial folder, to be
// continued by the next run.
PrepareSummary prepare(const PrepareRequest& request, EventWriter& events);

}  // namespace kaldra::update
