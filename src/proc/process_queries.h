// Questions about the process table and the file system: does a process exist, which
// processes run programs from inside a folder (a bundle), which processes a process
// started, on which volume a path lies. Stateless; callable from any thread. None of
// them reports an error: a failed look-up gives false, the empty list or no value.
//
//   if (processesInside(cfg.appBundle, {ownPid}).empty()) replaceBundle();
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kaldra {

using Pid = std::int32_t;

// The id of this process.
Pid ownPid();

// Whether `pid` names an existing process, also one of another user. Ids below 1 are
// never processes.
bool isAlive(Pid pid);

// The ids of all processes (at most 16384), in the system's order, unfiltered.
std::vector<Pid> allPids();

// The absolute path of the file `pid` runs, symbolic links resolved; bytes that are not
// UTF-8 become U+FFFD. No value when the process is gone or cannot be read.
std::optional<std::string> pidPath(Pid pid);

// The direct children of `pid` (at most 1024); grandchildren are not listed. Empty for a
// process without children and for an id that does not exist.
std::vector<Pid> childPids(Pid pid);

// The processes, other than those in `except`, whose executable lies below `folder`
// (symbolic links in `folder` resolved), in the order of allPids(). A process that ends
// during the scan is left out.
std::vector<Pid> processesInside(const std::filesystem::path& folder,
                                 const std::set<Pid>& except = {});

// The device number of the volume holding `path` (links followed); no value when the
// path cannot be examined.
std::optional<std::int32_t> deviceOf(const std::string& path);

}  // namespace kaldra
