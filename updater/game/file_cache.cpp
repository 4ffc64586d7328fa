#include "updater/game/file_cache.h"

#include <sys/stat.h>

#include <atomic>
#include <charconv>
#include <unordered_set>

#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/game/game_tree.h"

namespace kaldra::update {

namespace {

constexpr std::string_view kHeader = "kaldra-state 1\n";
constexpr std::string_view kMatched = "matched ";

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Reads the next blank-terminated number of `line` into `value`.
template <typename Number>
bool takeNumber(std::string_view& line, Number& value) {
  auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end == line.data() + line.size() || *end != ' ') return false;
  line.remove_prefix(static_cast<std::size_t>(end - line.data()) + 1);
  return true;
}

}  // namespace

std::optional<FileStamp> stampOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileStamp{.size = static_cast<std::uint64_t>(info.st_size),
                   .mtimeNs = nanoseconds(info.st_mtim),
                   .ctimeNs = nanoseconds(info.st_ctim)};
}

FileCache FileCache::load(const std::filesystem::path& file) {
  auto bytes = readFile(file);
  if (!bytes || !bytes->starts_with(kHeader) || !bytes->ends_with('\n')) return {};
  std::string_view rest(*bytes);
  rest.remove_prefix(kHeader.size());

  FileCache cache;
  bool first = true;
  while (!rest.empty()) {
    auto end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (first) {
      first = false;
      auto blank = line.find(' ', kMatched.size());
      if (!line.starts_with(kMatched) || blank == std::string_view::npos) return {};
      auto digest = line.substr(kMatched.size(), blank - kMatched.size());
      if (digest != "-")
        cache.matched_ = {std::string(digest), std::string(line.substr(blank + 1))};
      continue;
    }
    if (line.size() < 65 || line[64] != ' ') return {};
    Entry entry{.sha256 = std::string(line.substr(0, 64))};
    line.remove_prefix(65);
    if (!takeNumber(line, entry.stamp.size) || !takeNumber(line, entry.stamp.mtimeNs) ||
        !takeNumber(line, entry.stamp.ctimeNs) || line.empty())
      return {};
    cache.entries_.emplace(line, std::move(entry));
  }
  return cache;
}

std::optional<std::string_view> FileCache::digestIfUnchanged(const std::string& path,
                                                             const FileStamp& stamp) const {
  auto it = entries_.find(path);
  if (it == entries_.end() || it->second.stamp != stamp) return std::nullopt;
  return it->second.sha256;
}

void FileCache::record(const std::string& path, const FileStamp& stamp, std::string sha256) {
  entries_[path] = {stamp, std::move(sha256)};
  forgetMatched();
}

void FileCache::retainOnly(const std::vector<std::string_view>& paths) {
  std::unordered_set<std::string_view> keep(paths.begin(), paths.end());
  auto dropped =
      std::erase_if(entries_, [&](const auto& entry) { return !keep.contains(entry.first); });
  if (dropped > 0) forgetMatched();
}

void FileCache::setMatched(MatchedManifest manifest) {
  changed_ = changed_ || manifest.sha256 != matched_.sha256 || manifest.version != matched_.version;
  matched_ = std::move(manifest);
}

void FileCache::forgetMatched() {
  matched_ = {};
  changed_ = true;
}

bool FileCache::allUnchanged(const std::filesystem::path& root, unsigned threads) const {
  std::vector<const std::pair<const std::string, Entry>*> entries;
  entries.reserve(entries_.size());
  for (const auto& entry : entries_) entries.push_back(&entry);
  std::atomic<bool> unchanged{true};
  parallelFor(entries.size(), threads, [&](std::size_t i) {
    if (!unchanged) return;
    if (stampInside(root, entries[i]->first) != entries[i]->second.stamp) unchanged = false;
  });
  return unchanged;
}

void FileCache::save(const std::filesystem::path& file) const {
  std::string text(kHeader);
  text += kMatched;
  text += matched_.sha256.empty() ? "-" : matched_.sha256;
  text += ' ' + matched_.version + '\n';
  for (const auto& [path, entry] : entries_) {
    text += entry.sha256 + ' ' + std::to_string(entry.stamp.size) + ' ' +
            std::to_string(entry.stamp.mtimeNs) + ' ' + std::to_string(entry.stamp.ctimeNs) + ' ' +
            path + '\n';
  }
  writeFileDurably(file, text);
}

}  // namespace kaldra::update
