#include "proc/process_queries.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "platform/process_table.h"
#include "platform/volume.h"
#include "proc/run_tool.h"

namespace kaldra {

namespace {

constexpr std::size_t kMaxPids = 16384;
constexpr std::size_t kMaxChildren = 1024;
constexpr std::size_t kPathBufferSize = 4096;

// The executable path's bytes up to the first zero byte, or no value.
std::optional<std::string> executablePathBytes(Pid pid) {
  std::array<char, kPathBufferSize> buffer{};
  int length = platform::readExecutablePath(pid, buffer.data(), buffer.size());
  if (length < 1) return std::nullopt;
  std::string_view bytes(buffer.data(), std::min<std::size_t>(length, buffer.size()));
  return std::string(bytes.substr(0, bytes.find('\0')));
}

// The folder with its links resolved, as a prefix that ends in "/": a sibling whose name
// merely starts with the folder's name does not match it.
std::string prefixOf(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, ec);
  std::string prefix = (ec ? folder.lexically_normal() : resolved).string();
  if (!prefix.ends_with('/')) prefix += '/';
  return prefix;
}

}  // namespace

Pid ownPid() {
  return platform::currentProcessId();
}

bool isAlive(Pid pid) {
  if (pid < 1) return false;
  return platform::sendNullSignal(pid) != platform::NullSignal::failed;
}

std::vector<Pid> allPids() {
  std::vector<Pid> pids(kMaxPids, 0);
  int count = platform::listAllPids(pids.data(), pids.size());
  if (count < 1) return {};
  pids.resize(std::min<std::size_t>(count, kMaxPids));
  return pids;
}

std::optional<std::string> pidPath(Pid pid) {
  auto bytes = executablePathBytes(pid);
  if (!bytes) return std::nullopt;
  return decodeUtf8Lossy(*bytes);
}

std::vector<Pid> childPids(Pid pid) {
  std::vector<Pid> children(kMaxChildren, 0);
  int count = platform::listChildPids(pid, children.data(), children.size());
  if (count < 1) return {};
  children.resize(std::min<std::size_t>(count, kMaxChildren));
  std::erase_if(children, [](Pid child) { return child < 1; });
  return children;
}

std::vector<Pid> processesInside(const std::filesystem::path& folder, const std::set<Pid>& except) {
  std::string prefix = prefixOf(folder);
  std::vector<Pid> inside;
  for (Pid pid : allPids()) {
    if (pid < 1 || except.contains(pid)) continue;
    // Raw bytes on both sides: a folder whose name is not UTF-8 still matches itself.
    auto path = executablePathBytes(pid);
    if (path && path->starts_with(prefix)) inside.push_back(pid);
  }
  return inside;
}

std::optional<std::int32_t> deviceOf(const std::string& path) {
  return platform::deviceNumber(path);
}

}  // namespace kaldra
