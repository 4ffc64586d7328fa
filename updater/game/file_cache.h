// What the tool knows of each game file's content, keyed by the file's stamp, so that an
// unchanged file is never read again, and an unchanged folder is confirmed with stat
// alone.
//
// Stored as text lines, quick to read back for folders of many thousand files:
//
//   kaldra-state 1
//   matched <manifest sha256 or -> <manifest version>
//   <sha256> <size> <mtime ns> <ctime ns> <path>
//   ...
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kaldra::update {

// What stat tells about a regular file. Any write changes the change time, so a file
// rewritten with its old size and modification time still gets a new stamp.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path` (not following a final symbolic link); nothing
// when there is no regular file there or it cannot be examined.
std::optional<FileStamp> stampOf(const std::filesystem::path& path);

// The manifest that the whole folder matched, by the digest of its bytes.
struct MatchedManifest {
  std::string sha256;
  std::string version;
};

class FileCache {
 public:
  // The cache stored at `file`. A missing, unreadable or damaged file gives an empty
  // cache: every game file is then read once more.
  static FileCache load(const std::filesystem::path& file);

  // The digest recorded for `path` when it was recorded with exactly this stamp.
  std::optional<std::string_view> digestIfUnchanged(const std::string& path,
                                                    const FileStamp& stamp) const;

  // Any change forgets the matched manifest: the folder must be confirmed again.
  void record(const std::string& path, const FileStamp& stamp, std::string sha256);
  void retainOnly(const std::vector<std::string_view>& paths);

  // Marks the entries as exactly the files of the manifest with these bytes, each with
  // the content it lists.
  void setMatched(MatchedManifest manifest);
  const MatchedManifest& matched() const { return matched_; }

  // Whether every remembered file below `root` still has its stamp, by stat alone on
  // `threads` threads.
  bool allUnchanged(const std::filesystem::path& root, unsigned threads) const;

  // Whether anything was recorded, forgotten or marked since loading.
  bool changed() const { return changed_; }

  // Stores the cache at `file` durably. Throws UpdateError (disk).
  void save(const std::filesystem::path& file) const;

 private:
  struct Entry {
    FileStamp stamp;
    std::string sha256;
  };
  void forgetMatched();

  std::unordered_map<std::string, Entry> entries_;
  MatchedManifest matched_;
  bool changed_ = false;
};

}  // namespace kaldra::update
