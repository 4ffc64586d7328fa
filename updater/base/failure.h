// What can end a command of the tool, sorted into the classes the launcher tells apart,
// and the exit status of each.
#pragma once

#include <stdexcept>
#include <string>

namespace kaldra::update {

// `stale`: a genuine manifest or feed older than one accepted before, or expired.
// `busy`: another run of the tool is working on the same game folder.
enum class FailureKind { network, disk, integrity, manifest, signature, stale, busy, other };

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
// The launcher reads this one status as "the game runs from the game folder"; no
// failure may use it.
inline constexpr int kExitGameRunning = 6;

// The name the event stream carries: "network", "disk", "integrity", "manifest",
// "signature", "stale", "busy", "other".
const char* kindName(FailureKind kind);

// 3 network, 4 disk, 5 integrity, 7 manifest, 8 signature, 10 stale, 9 busy, 1 other.
int exitStatus(FailureKind kind);

// A failure that ends the current command. what() is the English diagnostic for the log,
// with the path or URL it concerns; user() the player's text where the failure has one of
// its own (already in the player's language), empty where its kind's text says it all.
class UpdateError : public std::runtime_error {
 public:
  UpdateError(FailureKind kind, const std::string& detail, std::string user = {})
      : std::runtime_error(detail), kind_(kind), user_(std::move(user)) {}
  FailureKind kind() const { return kind_; }
  const std::string& user() const { return user_; }

 private:
  FailureKind kind_;
  std::string user_;
};

// "what: the system's text for errno" as a disk failure.
[[noreturn]] void throwDiskError(const std::string& what, int errorNumber);

}  // namespace kaldra::update
