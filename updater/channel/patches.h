// Patches from one version of a file to the next: zstd's compressed form of the new bytes with
// the old bytes as the window they start from, so that what the two share costs almost nothing,
// however densely the changes lie (a rebuilt program changes a few bytes every few hundred).
// A publish puts its patches one after the other into one object of the store, named by its
// SHA-256, so that a player fetches those it needs with a few range requests; the patch index
// says where each lies. The index is named by the manifest's own SHA-256 and written after it,
// so a player who comes before it simply builds from chunks. Nothing in it is trusted: a
// patch's bytes must be its name's, and what it makes must be the file the signed manifest
// names.
//
//   kaldra-patches 1
//   <bundle sha256>
//   <from sha256> <to sha256> <patch sha256> <patch size> <offset in the bundle>
//
// Store layout: "kaldra-store/patches/<manifest sha256>" (the index) and
// "kaldra-store/patches/9f/9f86d0..." (the patches).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/manifest.h"

namespace kaldra::update {

struct PatchRef {
  std::string from;   // the old file's SHA-256
  std::string to;     // the new file's
  std::string patch;  // the patch's
  std::uint64_t size = 0;
  std::string bundle;  // the object that holds it
  std::uint64_t offset = 0;

  bool operator==(const PatchRef&) const = default;
};

// Files larger than this (old or new) get no patch: both are held in memory to make and to use
// it.
inline constexpr std::uint64_t kPatchLimit = 256 << 20;

std::string patchIndexText(const std::vector<PatchRef>& patches);
// Throws UpdateError (manifest) naming the first fault.
std::vector<PatchRef> parsePatchIndex(std::string_view text);

std::string patchIndexPath(std::string_view manifestSha256);
std::string patchObjectPath(std::string_view sha256);

// The patch that makes `next` from `previous`.
std::string makePatch(std::string_view previous, std::string_view next);
// What `patch` makes from `previous`, when that is exactly `size` bytes; nothing otherwise.
std::optional<std::string> applyPatch(std::string_view previous, std::string_view patch,
                                      std::uint64_t size);

struct PatchesMade {
  std::vector<PatchRef> patches;
  std::uint64_t bytes = 0;
};
// Adds to the store in `channel` a patch from `previous`'s copy of each file that `next`
// changes at the same path, or moves to a path that differs only in its digits, where it
// costs well under what a player on `previous` would fetch without it (`chunkCost`, by the
// new file's digest); then the index for the manifest whose bytes have `manifestSha256`.
// Both copies come from the store. Throws UpdateError (disk).
PatchesMade addPatches(const std::filesystem::path& channel, const Manifest& previous,
                       const Manifest& next, const std::string& manifestSha256, unsigned threads,
                       const std::map<std::string, std::uint64_t>& chunkCost);

// The patches a kept manifest's index names, the index included, as store paths; none when
// it has no index or cannot be read.
std::vector<std::string> patchObjectsOf(const std::filesystem::path& channel,
                                        const std::string& manifestSha256);

}  // namespace kaldra::update
