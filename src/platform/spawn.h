// Starting programs with an explicit argument list (never through a shell) and
// collecting their output and exit status.
//
//   SpawnRequest req{.program = "/bin/echo", .args = {"hi"}, .out = Output::pipe()};
//   Spawned child = spawnProcess(req);
//   std::string bytes = readAll(child.pipe.get());
//   int status = waitForExit(child.pid);
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kaldra::platform {

// Owns a file descriptor; closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Where a child's standard output or standard error goes.
struct Output {
  enum class Kind { inherit, null, pipe, fd };
  Kind kind = Kind::inherit;
  int fd = -1;

  static Output inherit() { return {}; }
  static Output null() { return {Kind::null, -1}; }
  // Both channels set to pipe() share one pipe, so their bytes arrive interleaved.
  static Output pipe() { return {Kind::pipe, -1}; }
  // An open descriptor of the caller's; a negative one means inherit.
  static Output to(int descriptor) {
    return descriptor < 0 ? inherit() : Output{Kind::fd, descriptor};
  }
};

struct SpawnRequest {
  std::string program;                                  // absolute path, run as it is
  std::vector<std::string> args;                        // after argv[0], which is the program path
  std::optional<std::vector<std::string>> environment;  // "KEY=value"; none inherits
  Output out;
  Output err;
  bool nullInput = false;   // standard input from /dev/null instead of inherited
  bool newSession = false;  // detach from the caller's session and terminal
};

struct Spawned {
  int pid = -1;       // -1 when the program did not start
  UniqueFd pipe;      // read end of the output pipe, when one was asked for
  std::string error;  // the system's description of a start failure
  int code = 0;       // the error number of a start failure
};

// Starts the program. Only the descriptors named in the request reach the child; every
// other descriptor of the caller is closed in it. Never throws.
Spawned spawnProcess(const SpawnRequest& request);

// Waits for the child to end. The result is its exit code, or the signal number when a
// signal ended it; -1 when `pid` is not a child of this process.
int waitForExit(int pid);

// The child's status as waitForExit gives it once it has ended; no value while it runs.
// Reaps the child: a later call for the same pid answers -1.
std::optional<int> exitStatusIfEnded(int pid);

// Waits for the child on a detached thread, so that a process that is started and
// forgotten never lingers as a zombie.
void reapInBackground(int pid);

// Reads until end of file. Retries interrupted reads; stops early on a read error.
std::string readAll(int fd);

// One read of at most `size` bytes: the count, 0 at end of file, -1 on error.
long readSome(int fd, char* buffer, unsigned long size);

// Creates (or empties) a file and opens it for appending, so that another process emptying
// it meanwhile leaves no hole; an invalid descriptor on failure.
UniqueFd createTruncated(const std::string& path);

// Opens a file for appending, creating it with mode 0644 when missing; an invalid
// descriptor on failure.
UniqueFd openForAppending(const std::string& path);

// The system's text for an error number.
std::string describeError(int errorNumber);

}  // namespace kaldra::platform
