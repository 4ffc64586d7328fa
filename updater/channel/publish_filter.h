// Which entries of a game folder are left out of a channel: the patterns given with
// --exclude and those of the folder's own ".kaldra-ignore", one a line ('#' starts a comment).
//
//   *.pdb         a name anywhere: matched against every file and folder name
//   logs/         a folder of that name anywhere, with all it holds
//   data/dev/*    a path from the game folder's top ("/" in it), "*" not crossing a "/"
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra::update {

inline constexpr std::string_view kIgnoreFileName = ".kaldra-ignore";

class PublishFilter {
 public:
  // The folder's ignore file (when it has one) and `patterns`. Throws UpdateError (disk)
  // when the ignore file exists but cannot be read.
  PublishFilter(const std::filesystem::path& folder, const std::vector<std::string>& patterns);

  // Whether the entry at `path` (relative, "/"-separated) is left out, with all below it.
  bool excludes(std::string_view path, bool folder) const;

 private:
  std::vector<std::string> patterns_;
};

// Whether a published path looks like something a publisher would not ship: a hidden file
// or folder, a version-control folder, an editor's backup.
bool looksPrivate(std::string_view path);

}  // namespace kaldra::update
