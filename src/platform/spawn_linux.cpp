#include "platform/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace kaldra::platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

namespace {

// The posix_spawn attribute and file-action objects, destroyed on every way out.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

void addOutput(posix_spawn_file_actions_t* actions, const Output& output, int target,
               int pipeWriteEnd) {
  switch (output.kind) {
    case Output::Kind::inherit:
      break;
    case Output::Kind::null:
      posix_spawn_file_actions_addopen(actions, target, "/dev/null", O_WRONLY, 0);
      break;
    case Output::Kind::pipe:
      posix_spawn_file_actions_adddup2(actions, pipeWriteEnd, target);
      break;
    case Output::Kind::fd:
      posix_spawn_file_actions_adddup2(actions, output.fd, target);
      break;
  }
}

}  // namespace

Spawned spawnProcess(const SpawnRequest& request) {
  Spawned result;
  UniqueFd readEnd, writeEnd;
  if (request.out.kind == Output::Kind::pipe || request.err.kind == Output::Kind::pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      result.error = describeError(errno);
      return result;
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
  }

  SpawnSetup setup;
  if (request.nullInput)
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  addOutput(&setup.actions, request.out, 1, writeEnd.get());
  addOutput(&setup.actions, request.err, 2, writeEnd.get());
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);
  if (request.newSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&setup.attributes, flags);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(request.program.c_str()));
  for (const auto& arg : request.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  if (request.environment) {
    for (const auto& entry : *request.environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
  }

  pid_t pid = -1;
  int rc = posix_spawn(&pid, request.program.c_str(), &setup.actions, &setup.attributes,
                       argv.data(), request.environment ? envp.data() : environ);
  if (rc != 0) {
    result.code = rc;
    result.error = describeError(rc);
    return result;
  }
  result.pid = pid;
  result.pipe = std::move(readEnd);
  return result;
}

static int statusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return WTERMSIG(raw);
  return raw;
}

int waitForExit(int pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return statusOf(raw);
}

std::optional<int> exitStatusIfEnded(int pid) {
  int raw = 0;
  pid_t rc;
  do {
    rc = ::waitpid(pid, &raw, WNOHANG);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return std::nullopt;
  if (rc < 0) return -1;
  return statusOf(raw);
}

void reapInBackground(int pid) {
  std::thread([pid] { waitForExit(pid); }).detach();
}

std::string readAll(int fd) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    long n = readSome(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

long readSome(int fd, char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

UniqueFd createTruncated(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
}

UniqueFd openForAppending(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
}

std::string describeError(int errorNumber) {
  char buffer[256];
  return std::string(strerror_r(errorNumber, buffer, sizeof buffer));
}

}  // namespace kaldra::platform
