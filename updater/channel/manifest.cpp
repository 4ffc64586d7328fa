#include "updater/channel/manifest.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

namespace {

[[noreturn]] void fault(const std::string& what) {
  throw UpdateError(FailureKind::manifest, "manifest: " + what);
}

std::string digestMember(const nlohmann::json& value) {
  return value.is_string() ? lowerHexDigest(std::string_view(value.get_ref<const std::string&>()))
                           : std::string();
}

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

ManifestFile parseEntry(const nlohmann::json& entry, std::size_t index) {
  std::string where = "files[" + std::to_string(index) + "]";
  if (!entry.is_object()) fault(where + " is not an object");
  auto path = entry.find("path");
  if (path == entry.end() || !path->is_string()) fault(where + " has no string \"path\"");
  ManifestFile file{.path = path->get<std::string>()};
  if (auto problem = pathProblem(file.path); !problem.empty())
    fault(where + " path \"" + file.path + "\": " + problem);
  auto size = entry.find("size");
  if (size == entry.end() || !size->is_number_unsigned())
    fault(file.path + ": \"size\" is not a non-negative integer");
  file.size = size->get<std::uint64_t>();
  auto digest = entry.find("sha256");
  if (digest == entry.end() || (file.sha256 = digestMember(*digest)).empty())
    fault(file.path + ": \"sha256\" is not 64 hexadecimal digits");
  // Optional: channels published before the chunk store name none.
  if (auto chunks = entry.find("chunks"); chunks != entry.end()) {
    if ((file.chunks = digestMember(*chunks)).empty())
      fault(file.path + ": \"chunks\" is not 64 hexadecimal digits");
  }
  if (auto stored = entry.find("stored"); stored != entry.end()) {
    if (!stored->is_number_unsigned())
      fault(file.path + ": \"stored\" is not a non-negative integer");
    file.stored = stored->get<std::uint64_t>();
  }
  return file;
}

// Every path once, and no path that another one needs as a folder.
void checkPathsAreDistinct(const std::vector<ManifestFile>& files) {
  std::unordered_set<std::string_view> paths;
  for (const auto& file : files) {
    if (!paths.insert(file.path).second) fault("\"" + file.path + "\" is listed twice");
  }
  for (const auto& file : files) {
    std::string_view path = file.path;
    for (auto slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
      if (paths.contains(path.substr(0, slash)))
        fault("\"" + std::string(path.substr(0, slash)) + "\" is both a file and a folder");
    }
  }
}

}  // namespace

std::string lowerHexDigest(std::string_view text) {
  if (text.size() != 64) return {};
  std::string digest(text);
  for (char& c : digest) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  }
  return digest;
}

std::string pathProblem(std::string_view path) {
  if (path.empty()) return "empty path";
  if (path.front() == '/') return "absolute path";
  if (path.find('\\') != std::string_view::npos) return "backslash in path";
  if (hasControlCharacter(path)) return "control character in path";
  if (path.starts_with(kReservedPrefix)) return "name reserved for the updater";
  std::size_t start = 0;
  while (true) {
    auto end = path.find('/', start);
    auto component = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (component.empty()) return "empty path component";
    if (component == "." || component == "..") return "\".\" or \"..\" component";
    if (end == std::string_view::npos) return {};
    start = end + 1;
  }
}

Manifest parseManifest(std::string_view bytes) {
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) fault("not valid JSON");
  if (!json.is_object()) fault("not a JSON object");
  auto version = json.find("version");
  if (version == json.end() || !version->is_string()) fault("no string \"version\"");
  if (hasControlCharacter(version->get_ref<const std::string&>()))
    fault("control character in \"version\"");
  auto files = json.find("files");
  if (files == json.end() || !files->is_array()) fault("no array \"files\"");

  Manifest manifest{.version = version->get<std::string>(),
                    .freshness = readFreshness(json, FailureKind::manifest)};
  manifest.files.reserve(files->size());
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < files->size(); ++i) {
    manifest.files.push_back(parseEntry((*files)[i], i));
    // Progress and download counts add the sizes up; a sum that wraps would lie.
    if (__builtin_add_overflow(total, manifest.files.back().size, &total))
      fault("the sizes add up to more than 2^64 - 1 bytes");
  }
  checkPathsAreDistinct(manifest.files);
  return manifest;
}

Freshness manifestFreshness(std::string_view bytes) {
  // Everything deeper than the top level's members is dropped as it is read.
  auto json = nlohmann::json::parse(
      bytes, [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) { return depth < 2; },
      /*allow_exceptions=*/false);
  if (json.is_discarded() || !json.is_object()) fault("not a JSON object");
  return readFreshness(json, FailureKind::manifest);
}

std::string manifestJson(const Manifest& manifest) {
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const auto& file : manifest.files) {
    files.push_back({{"path", file.path}, {"size", file.size}, {"sha256", file.sha256}});
    if (!file.chunks.empty()) files.back()["chunks"] = file.chunks;
    if (file.stored) files.back()["stored"] = *file.stored;
  }
  nlohmann::ordered_json json{{"version", manifest.version}};
  writeFreshness(json, manifest.freshness);
  json["files"] = std::move(files);
  return json.dump(1) + "\n";
}

std::optional<Manifest> readManifest(const std::filesystem::path& file) {
  auto bytes = readFile(file);
  if (!bytes) return std::nullopt;
  try {
    return parseManifest(*bytes);
  } catch (const UpdateError&) {
    return std::nullopt;
  }
}

}  // namespace kaldra::update
