// Moving whole directory entries in one atomic step, the way a bundle is put in place.
// Both calls need the two paths on one volume; neither ever replaces an entry.
#pragma once

#include <string>

namespace kaldra::platform {

// Exchanges the entries at `a` and `b` atomically: afterwards each path names what the
// other named. Both must exist. 0 on success, otherwise the error number.
int exchangeEntries(const std::string& a, const std::string& b);

// Moves the entry at `from` to `to`, where nothing may exist: an entry that appeared at
// `to` meanwhile is never overwritten. 0 on success, otherwise the error number.
int moveToFreePath(const std::string& from, const std::string& to);

}  // namespace kaldra::platform
