#include "updater/file_cache.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <unordered_set>

#include "updater/file_io.h"

namespace kaldra::update {

namespace {

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
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
  FileCache cache;
  auto bytes = readFile(file);
  if (!bytes) return cache;
  auto json = nlohmann::json::parse(*bytes, nullptr, /*allow_exceptions=*/false);
  auto files = json.is_object() ? json.find("files") : json.end();
  if (files == json.end() || !files->is_object()) return cache;
  for (const auto& [path, entry] : files->items()) {
    if (!entry.is_object()) continue;
    auto size = entry.find("size");
    auto mtime = entry.find("mtime_ns");
    auto ctime = entry.find("ctime_ns");
    auto sha = entry.find("sha256");
    if (size == entry.end() || !size->is_number_unsigned() || mtime == entry.end() ||
        !mtime->is_number_integer() || ctime == entry.end() || !ctime->is_number_integer() ||
        sha == entry.end() || !sha->is_string())
      continue;
    cache.entries_[path] = {
        {size->get<std::uint64_t>(), mtime->get<std::int64_t>(), ctime->get<std::int64_t>()},
        sha->get<std::string>()};
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
  changed_ = true;
}

void FileCache::retainOnly(const std::vector<std::string_view>& paths) {
  std::unordered_set<std::string_view> keep(paths.begin(), paths.end());
  std::erase_if(entries_, [&](const auto& entry) {
    bool drop = !keep.contains(entry.first);
    changed_ = changed_ || drop;
    return drop;
  });
}

void FileCache::save(const std::filesystem::path& file) const {
  nlohmann::json files = nlohmann::json::object();
  for (const auto& [path, entry] : entries_) {
    files[path] = {{"size", entry.stamp.size},
                   {"mtime_ns", entry.stamp.mtimeNs},
                   {"ctime_ns", entry.stamp.ctimeNs},
                   {"sha256", entry.sha256}};
  }
  writeFileDurably(file, nlohmann::json{{"files", std::move(files)}}.dump() + "\n");
}

}  // namespace kaldra::update
