#include "updater/channel/patches.h"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <map>
#include <memory>
#include <set>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunk_store.h"

namespace kaldra::update {

namespace {

constexpr std::string_view kHeader = "kaldra-patches 1\n";
// zstd's fast levels find the long matches a patch is made of about as well as its slow ones.
constexpr int kPatchLevel = 3;
// A patch holds a file's new bytes a second time in the store, so it is kept only where it
// saves a player a good part of the chunks: at most this share of them, in percent.
constexpr std::uint64_t kPatchWorthPercent = 80;
// zstd's bounds on a window, 64-bit systems (public only in its static-linking part).
constexpr int kMinWindowLog = 10, kMaxWindowLog = 31;

// A window that covers the old bytes and the new, so that any of the old can be referred to.
int windowLog(std::size_t previous, std::size_t next) {
  auto bits = static_cast<int>(std::bit_width(previous + next));
  return std::clamp(bits, kMinWindowLog, kMaxWindowLog);
}

// A published file's bytes from the store: its whole copy, or its chunks in order; none
// when they are not all there and right.
std::optional<std::string> storedFile(const std::filesystem::path& channel,
                                      const ManifestFile& file) {
  auto whole = readFile(channel / fileObjectPath(file.sha256));
  if (!whole) {
    auto list = readFile(channel / chunkListPath(file.chunks));
    if (!list) return std::nullopt;
    // Each chunk straight into its place: appending them copied a big file over and over.
    whole.emplace(file.size, '\0');
    std::uint64_t at = 0;
    try {
      for (const auto& chunk : parseChunkList(*list)) {
        auto stored = readFile(channel / chunkObjectPath(chunk));
        if (!stored || chunk.size > file.size - at ||
            !unpackChunkInto(chunk, *stored, whole->data() + at))
          return std::nullopt;
        at += chunk.size;
      }
    } catch (const UpdateError&) {
      return std::nullopt;
    }
  }
  if (sha256Hex(*whole) != file.sha256) return std::nullopt;
  return whole;
}

}  // namespace

std::string patchIndexText(const std::vector<PatchRef>& patches) {
  std::string text(kHeader);
  if (!patches.empty()) text += patches.front().bundle + "\n";
  for (const auto& p : patches)
    text += p.from + " " + p.to + " " + p.patch + " " + std::to_string(p.size) + " " +
            std::to_string(p.offset) + "\n";
  return text;
}

std::vector<PatchRef> parsePatchIndex(std::string_view text) {
  auto malformed = [](std::size_t line) {
    throw UpdateError(FailureKind::manifest, "patch index line " + std::to_string(line));
  };
  if (!text.starts_with(kHeader)) malformed(1);
  text.remove_prefix(kHeader.size());
  std::vector<PatchRef> patches;
  std::string bundle;
  for (std::size_t line = 2; !text.empty(); ++line) {
    auto end = text.find('\n');
    if (end == std::string_view::npos) malformed(line);
    std::string_view entry = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (line == 2) {
      if ((bundle = lowerHexDigest(entry)).empty()) malformed(line);
      continue;
    }
    // "<from> <to> <patch> <size> <offset>"
    if (entry.size() < 3 * 65 + 3 || entry[64] != ' ' || entry[129] != ' ' || entry[194] != ' ')
      malformed(line);
    PatchRef ref{.from = lowerHexDigest(entry.substr(0, 64)),
                 .to = lowerHexDigest(entry.substr(65, 64)),
                 .patch = lowerHexDigest(entry.substr(130, 64)),
                 .bundle = bundle};
    const char* last = entry.data() + entry.size();
    auto size = std::from_chars(entry.data() + 195, last, ref.size);
    if (size.ec != std::errc() || size.ptr == last || *size.ptr != ' ') malformed(line);
    auto offset = std::from_chars(size.ptr + 1, last, ref.offset);
    if (ref.from.empty() || ref.to.empty() || ref.patch.empty() || offset.ec != std::errc() ||
        offset.ptr != last)
      malformed(line);
    patches.push_back(std::move(ref));
  }
  return patches;
}

std::string patchIndexPath(std::string_view manifestSha256) {
  return std::string(kStoreFolder) + "/patches/" + std::string(manifestSha256);
}

std::string patchObjectPath(std::string_view sha256) {
  return std::string(kStoreFolder) + "/patches/" + std::string(sha256.substr(0, 2)) + "/" +
         std::string(sha256);
}

std::string makePatch(std::string_view previous, std::string_view next) {
  std::unique_ptr<ZSTD_CCtx, std::size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, kPatchLevel);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, windowLog(previous.size(), next.size()));
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_enableLongDistanceMatching, 1);
  ZSTD_CCtx_refPrefix(context.get(), previous.data(), previous.size());
  // Left unfilled: the bound is the size of the whole new file.
  const std::size_t bound = ZSTD_compressBound(next.size());
  auto patch = std::make_unique_for_overwrite<char[]>(bound);
  std::size_t size = ZSTD_compress2(context.get(), patch.get(), bound, next.data(), next.size());
  if (ZSTD_isError(size)) throw UpdateError(FailureKind::other, ZSTD_getErrorName(size));
  return std::string(patch.get(), size);
}

std::optional<std::string> applyPatch(std::string_view previous, std::string_view patch,
                                      std::uint64_t size) {
  std::unique_ptr<ZSTD_DCtx, std::size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
  ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kMaxWindowLog);
  ZSTD_DCtx_refPrefix(context.get(), previous.data(), previous.size());
  // One byte more than wanted, to see a patch that makes more.
  std::string bytes(size + 1, '\0');
  std::size_t made =
      ZSTD_decompressDCtx(context.get(), bytes.data(), bytes.size(), patch.data(), patch.size());
  if (ZSTD_isError(made) || made != size) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

PatchesMade addPatches(const std::filesystem::path& channel, const Manifest& previous,
                       const Manifest& next, const std::string& manifestSha256, unsigned threads,
                       const std::map<std::string, std::uint64_t>& chunkCost) {
  // A file at the same path, or at a path that differs from a gone one only in its digits
  // (a version number in a folder's name): the same file, moved.
  auto shape = [](std::string path) {
    std::replace_if(
        path.begin(), path.end(), [](char c) { return c >= '0' && c <= '9'; }, '#');
    return path;
  };
  std::map<std::string, const ManifestFile*> before, gone;
  std::set<std::string> nextPaths, ambiguous;
  for (const auto& file : next.files) nextPaths.insert(file.path);
  for (const auto& file : previous.files) {
    before[file.path] = &file;
    if (!nextPaths.contains(file.path) && !gone.emplace(shape(file.path), &file).second)
      ambiguous.insert(shape(file.path));
  }
  std::vector<std::pair<const ManifestFile*, const ManifestFile*>> changed;
  for (const auto& file : next.files) {
    const ManifestFile* old = nullptr;
    if (auto same = before.find(file.path); same != before.end())
      old = same->second;
    else if (auto moved = gone.find(shape(file.path));
             moved != gone.end() && !ambiguous.contains(moved->first))
      old = moved->second;
    if (old && old->sha256 != file.sha256 && !file.chunks.empty() && old->size <= kPatchLimit &&
        file.size <= kPatchLimit)
      changed.emplace_back(old, &file);
  }
  // Each in its file's place, so that the patches of a folder's files lie together.
  std::vector<std::optional<std::pair<PatchRef, std::string>>> tried(changed.size());
  parallelFor(changed.size(), threads, [&](std::size_t i) {
    auto [old, file] = changed[i];
    auto cost = chunkCost.find(file->sha256);
    if (cost == chunkCost.end()) return;
    // The store's copies: a game file may have changed since it was published.
    auto from = storedFile(channel, *old);
    auto to = storedFile(channel, *file);
    if (!from || !to) return;
    std::string patch = makePatch(*from, *to);
    if (patch.size() * 100 > cost->second * kPatchWorthPercent) return;
    tried[i].emplace(PatchRef{.from = old->sha256,
                              .to = file->sha256,
                              .patch = sha256Hex(patch),
                              .size = patch.size()},
                     std::move(patch));
  });
  PatchesMade result;
  std::string bundle;
  for (auto& entry : tried) {
    if (!entry) continue;
    entry->first.offset = bundle.size();
    bundle += entry->second;
    result.patches.push_back(std::move(entry->first));
    entry.reset();
  }
  result.bytes = bundle.size();
  const std::string name = sha256Hex(bundle);
  for (auto& ref : result.patches) ref.bundle = name;
  if (!result.patches.empty()) addStoreObject(channel / patchObjectPath(name), bundle);
  addStoreObject(channel / patchIndexPath(manifestSha256), patchIndexText(result.patches));
  return result;
}

std::vector<std::string> patchObjectsOf(const std::filesystem::path& channel,
                                        const std::string& manifestSha256) {
  auto text = readFile(channel / patchIndexPath(manifestSha256));
  if (!text) return {};
  std::vector<std::string> objects{patchIndexPath(manifestSha256)};
  try {
    for (const auto& ref : parsePatchIndex(*text)) objects.push_back(patchObjectPath(ref.bundle));
  } catch (const UpdateError&) {
  }
  return objects;
}

}  // namespace kaldra::update
